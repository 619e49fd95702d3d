#include "export/avi_writer.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "export/export_encoder.h"

namespace strixc::exporting {

namespace {

// Pictures beyond this size are not camera pictures but a damaged header.
constexpr int kMaxSide = 16384;
constexpr int kMaxFramesPerSecond = 1000;

// Removes a file of the name (not a folder). Failure is not an error: there may be none.
void RemoveFile(const std::string& fileName) {
  std::error_code ec;
  const std::filesystem::path path(fileName);
  const auto status = std::filesystem::symlink_status(path, ec);
  if (ec || std::filesystem::is_directory(status)) return;
  std::filesystem::remove(path, ec);
}

}  // namespace

AviWriter::AviWriter(int camera, uint64_t start, uint64_t end, const std::string& fileName,
                     ExportCompression compression)
    : camera_(camera),
      start_(start),
      end_(end),
      fileName_(fileName),
      container_(ContainerOf(fileName)),
      compression_(std::move(compression)) {}

AviWriter::AviWriter(int camera, uint64_t start, uint64_t end, const std::string& fileName,
                     CompressionChooser chooser, ExportCompression initial)
    : AviWriter(camera, start, end, fileName, std::move(initial)) {
  chooser_ = std::move(chooser);
}

AviWriter::~AviWriter() { Close(); }

bool AviWriter::Fail(const std::string& why) {
  failed_ = true;
  if (error_.empty()) error_ = why;
  return false;
}

bool AviWriter::Open(QObject* owner, int framesPerSecond) {
  if (opened_ || closed_) return Fail("the writer was opened before");
  if (framesPerSecond <= 0 || framesPerSecond > kMaxFramesPerSecond) return Fail("bad frame rate");
  framesPerSecond_ = framesPerSecond;
  // The old file goes first, whether or not the new one is made: a half-chosen export must not
  // leave the previous export's file looking like this one.
  RemoveFile(fileName_);
  if (chooser_ && !chooser_(owner, fileName_, &compression_)) return Fail("the compression choice was cancelled");
  if (compression_.codec.empty()) compression_.codec = DefaultExportCodec(container_);
  if (!ExportCodecAvailable(container_, compression_.codec))
    return Fail("the encoder " + compression_.codec + " is not available for this file type");
  auto encoder = std::make_unique<ExportEncoder>();
  if (!encoder->Create(fileName_, container_)) {
    RemoveFile(fileName_);
    return Fail(encoder->Error());
  }
  encoder_ = std::move(encoder);
  opened_ = true;
  percent_ = 0;
  lastTime_ = 0;
  nextPts_ = 0;
  return true;
}

bool AviWriter::Write(const video::BitmapInfoHeader& header, const uint8_t* bits, uint64_t time) {
  if (!opened_ || closed_ || failed_ || !encoder_) return false;
  const int width = header.biWidth;
  const int height = header.biHeight;
  if (bits == nullptr || header.biBitCount != 24 || width <= 0 || height <= 0 || width > kMaxSide ||
      height > kMaxSide)
    return Fail("not a 24-bit bottom-up picture");
  const int stride = video::PictureStride(width);
  if (header.biSizeImage < static_cast<uint64_t>(stride) * height) return Fail("picture bytes missing");

  // Progress: computed in 128 bits, as times far outside the range would overflow the product.
  const __int128 span = end_ < start_ + 2 ? 1 : static_cast<__int128>(end_ - start_);
  const __int128 done = (static_cast<__int128>(time) - static_cast<__int128>(start_)) * 100 / span;
  percent_ = static_cast<int>(std::clamp<__int128>(done, 0, 100));

  const bool avi = container_ == Container::kAvi;
  if (pictures_ > 0 && avi && time > lastTime_) {
    const __int128 k =
        static_cast<__int128>(time - lastTime_) * framesPerSecond_ / kUnitsPerSecond - 1;
    const int repeats = static_cast<int>(std::clamp<__int128>(k, 0, kMaxRepeats));
    for (int i = 0; i < repeats; ++i) {
      if (!encoder_->Repeat(nextPts_++)) return Fail(encoder_->Error());
      ++frames_;
    }
  }
  lastTime_ = time;

  if (!encoder_->Started()) {
    if (!encoder_->Start(compression_, width, height, framesPerSecond_, avi ? framesPerSecond_ : kStampsPerSecond))
      return Fail(encoder_->Error());
    firstTime_ = time;
    width_ = width;
    height_ = height;
  } else if (width != encoder_->Width() || height != encoder_->Height()) {
    return Fail("the picture size changed during the export");
  }

  int64_t pts = nextPts_;
  if (!avi) {
    // Milliseconds since the first picture; two pictures within one millisecond keep their order.
    const int64_t stamp =
        time > firstTime_ ? static_cast<int64_t>((time - firstTime_) / (kUnitsPerSecond / kStampsPerSecond)) : 0;
    pts = std::max(stamp, nextPts_);
  }
  if (!encoder_->Encode(bits, stride, pts)) return Fail(encoder_->Error());
  nextPts_ = pts + 1;
  ++pictures_;
  ++frames_;
  return true;
}

bool AviWriter::Finish() {
  const bool complete = Close();
  return complete || (!failed_ && pictures_ == 0);
}

int AviWriter::Percent() { return percent_; }

bool AviWriter::Close() {
  if (closed_) return closeResult_;
  closed_ = true;
  bool ok = opened_ && encoder_ && !failed_ && encoder_->Started();
  if (ok && !encoder_->Finish()) ok = Fail(encoder_->Error());
  if (!ok && error_.empty()) error_ = "no picture was written";
  encoder_.reset();
  // A half-written file is no evidence: it goes (only a file this writer created).
  if (!ok && opened_) RemoveFile(fileName_);
  closeResult_ = ok;
  if (onClosed_) {
    ExportSummary summary;
    summary.complete = ok;
    summary.codec = compression_.codec;
    summary.pictures = pictures_;
    summary.frames = frames_;
    summary.width = width_;
    summary.height = height_;
    summary.error = error_;
    onClosed_(summary);
  }
  return ok;
}

playback::ExportWriterFactory MakeAviWriterFactory(ExportCompression compression,
                                                   std::function<void(const ExportSummary&)> onClosed) {
  return [compression, onClosed](int camera, uint64_t start, uint64_t end, const std::string& fileName) {
    auto writer = std::make_unique<AviWriter>(camera, start, end, fileName, compression);
    writer->SetOnClosed(onClosed);
    return writer;
  };
}

playback::ExportWriterFactory MakeAviWriterFactory(CompressionChooser chooser, ExportCompression initial,
                                                   std::function<void(const ExportSummary&)> onClosed) {
  return [chooser, initial, onClosed](int camera, uint64_t start, uint64_t end, const std::string& fileName) {
    auto writer = std::make_unique<AviWriter>(camera, start, end, fileName, chooser, initial);
    writer->SetOnClosed(onClosed);
    return writer;
  };
}

}  // namespace strixc::exporting
