#pragma once

#include <functional>
#include <string>
#include <vector>

class QObject;

namespace strixc::exporting {

// The containers an export writes, chosen by the file's extension (case-insensitive): ".mkv" is
// Matroska, ".mp4" MPEG-4, anything else AVI.
enum class Container { kAvi, kMatroska, kMp4 };
Container ContainerOf(const std::string& fileName);
// FFmpeg's name of the container's muxer.
const char* ContainerMuxer(Container container);

// How an export compresses its pictures: what the compression options dialog chooses.
struct ExportCompression {
  // An FFmpeg encoder name: "mjpeg", "mpeg4", "libx264", "ffv1", "rawvideo".
  std::string codec;
  // 0 (smallest file) .. 100 (best picture); ignored by the lossless encoders (ffv1, rawvideo).
  int quality = kDefaultQuality;
  // A key frame at least every this many frames; 0 leaves it to the encoder.
  int keyFrameInterval = kDefaultKeyFrameInterval;

  static constexpr int kDefaultQuality = 85;
  static constexpr int kDefaultKeyFrameInterval = 25;
};

// The encoders' own quality settings for a quality of 0..100: the quantiser of MJPEG and MPEG-4
// part 2 (2 best .. 31 smallest) and x264's constant rate factor (0 lossless .. 51 smallest).
int QualityToQScale(int quality);
int QualityToCrf(int quality);

// Asks the user for the compression of `fileName` (a dialog parented to `owner`, which may be
// null), starting from `*options`. True with `*options` set on OK; false when cancelled, and then
// the export does not start. Called on the thread that opens the export, inside the playback
// source's lock.
using CompressionChooser =
    std::function<bool(QObject* owner, const std::string& fileName, ExportCompression* options)>;

// The encoders of the list above that this FFmpeg build has and that `container` can carry, in
// that order.
std::vector<std::string> ExportCodecs(Container container);

// The encoder used when none is chosen: mjpeg for AVI, libx264 for Matroska and MPEG-4 when the
// build has it, else mpeg4.
std::string DefaultExportCodec(Container container);

// Whether `codec` is among ExportCodecs(container).
bool ExportCodecAvailable(Container container, const std::string& codec);

}  // namespace strixc::exporting
