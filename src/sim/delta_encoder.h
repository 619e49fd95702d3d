#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/messages.h"
#include "video/frame_decoder.h"
#include "video/jpeg_codec.h"
#include "video/picture.h"

namespace strixc::sim {

// Turns one camera's pictures into the key and delta frames of one client, without drift.
//
// The encoder keeps a mirror of the client: a FrameDecoder fed with exactly the bytes the client
// gets (key, delta and event frames), so it always knows the picture the client shows. A delta
// frame replaces the 8 x 8 blocks where that picture is off the scene by more than kBlockThreshold
// (sum of absolute differences over the block's 192 bytes) - but only where the scene has changed
// since the block was last sent: sending the same content again would come back with the same JPEG
// noise, so static background, captions included, is sent once and then left alone. A block whose
// content did not change gets one second chance (its neighbours in the replacement picture, and so
// its chroma noise, differ from one delta to the next), never more. Because the mirror decodes what
// was really sent, errors do not pile up: every block of the client's picture is either within the
// threshold of the scene or the decoded JPEG of the scene's current content.
//
// Frame data layouts (the client reads them, see net/messages.h for the frame header):
// - key: one baseline JPEG of the whole picture.
// - delta: i16 bit count B (the picture's block count), (B / 8) + 1 bitmap bytes (bit i % 8 of byte
//   i / 8 set: block i is replaced; blocks counted row by row from the top left, width / 8 a row),
//   then one JPEG whose 8 x 8 blocks, row by row, (its width / 8) a row, are the replacements in
//   the order of the set bits. It is at most kMaxPatchBlocksPerRow blocks wide, a multiple of 16
//   pixels (friendly to the halved chroma), and grey in the unused slots at its end.
//
// Not thread-safe; the codec is shared with the caller's other encoders of the same thread and must
// outlive the encoder.
class DeltaEncoder {
 public:
  // The sum of absolute differences over one block's 192 bytes above which the client's block
  // counts as off: a mean error of 2.7 per byte, more than JPEG leaves on smooth areas at the
  // default quality and less than any real change in the scene.
  static constexpr int kBlockThreshold = 8 * 64;
  // The bit count of a delta frame is a signed 16-bit number.
  static constexpr int kMaxDeltaBlocks = 32767;
  static constexpr int kMaxPatchBlocksPerRow = 44;
  static constexpr uint8_t kPatchFill = 128;
  // Frame data longer than this would not pass a client's message limit.
  static constexpr size_t kMaxFrameData = net::kMaxMessageLength - net::kFrameHeaderSize;

  explicit DeltaEncoder(video::JpegCodec& codec);

  // Encodes the scene picture as this client's next frame of the camera, into `data`, and feeds it
  // to the mirror. A key frame when `key` is set, when the client has no picture of the scene's size
  // yet, when the picture has more blocks than a delta frame can name, or when more than half the
  // blocks must be replaced (a key frame is then smaller and cleaner). With nothing to replace, the
  // block furthest from the scene is sent again, so that every tick still carries a frame.
  // Qualities are clamped to 1..100. Returns the kind of frame in `data`, or kNone when encoding
  // failed (send nothing; the mirror is unchanged).
  net::FrameKind Encode(const video::PictureBuffer& scene, bool key, int keyQuality, int deltaQuality, uint64_t time,
                        std::vector<uint8_t>& data);

  // An event frame sent to the client (it empties the client's picture): the mirror takes it too.
  void AddEvent(const uint8_t* data, size_t length, uint64_t time);

  // The picture the client has now.
  const video::PictureBuffer& Mirror() const { return mirror_.Picture(); }
  // Blocks replaced by the last delta frame.
  int LastDeltaBlocks() const { return lastDeltaBlocks_; }

 private:
  bool EncodeKey(const video::PictureBuffer& scene, int quality, uint64_t time, std::vector<uint8_t>& data);
  bool EncodeDelta(const video::PictureBuffer& scene, int quality, uint64_t time, std::vector<uint8_t>& data);
  // Fills changed_ with the blocks to replace; false when a key frame is the better answer.
  bool ChooseBlocks(const video::PictureBuffer& scene);

  video::JpegCodec& codec_;
  video::FrameDecoder mirror_;
  // The scene as it was when each block was last sent.
  video::PictureBuffer sent_;
  // Per block: 1 once its current content has had its second chance (or came with a key frame).
  std::vector<uint8_t> settled_;
  video::PictureBuffer patch_;
  std::vector<int> changed_;
  std::vector<uint8_t> jpeg_;
  int lastDeltaBlocks_ = 0;
};

}  // namespace strixc::sim
