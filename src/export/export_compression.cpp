#include "export/export_compression.h"

#include <algorithm>
#include <cctype>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace strixc::exporting {

namespace {

// The encoders offered, in the order the dialog lists them: the widely played ones first, the
// lossless ones for keeping evidence untouched last.
constexpr const char* kCodecs[] = {"mjpeg", "mpeg4", "libx264", "ffv1", "rawvideo"};

}  // namespace

const char* ContainerMuxer(Container container) {
  switch (container) {
    case Container::kMatroska: return "matroska";
    case Container::kMp4: return "mp4";
    case Container::kAvi: break;
  }
  return "avi";
}

Container ContainerOf(const std::string& fileName) {
  const size_t dot = fileName.find_last_of('.');
  const size_t slash = fileName.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Container::kAvi;
  std::string ext = fileName.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "mkv") return Container::kMatroska;
  if (ext == "mp4") return Container::kMp4;
  return Container::kAvi;
}



int QualityToQScale(int quality) { return 2 + (100 - std::clamp(quality, 0, 100)) * 29 / 100; }

int QualityToCrf(int quality) { return (100 - std::clamp(quality, 0, 100)) * 51 / 100; }

std::vector<std::string> ExportCodecs(Container container) {
  std::vector<std::string> codecs;
  const AVOutputFormat* format = av_guess_format(ContainerMuxer(container), nullptr, nullptr);
  if (format == nullptr) return codecs;
  for (const char* name : kCodecs) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) continue;
    // 1: the muxer has a tag for it; MP4 answers a negative "unknown" for some it does carry.
    if (avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) == 1) codecs.push_back(name);
  }
  return codecs;
}

bool ExportCodecAvailable(Container container, const std::string& codec) {
  const std::vector<std::string> codecs = ExportCodecs(container);
  return std::find(codecs.begin(), codecs.end(), codec) != codecs.end();
}

std::string DefaultExportCodec(Container container) {
  if (container == Container::kAvi) return "mjpeg";
  return ExportCodecAvailable(container, "libx264") ? "libx264" : "mpeg4";
}

}  // namespace strixc::exporting
