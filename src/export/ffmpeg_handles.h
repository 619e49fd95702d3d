#pragma once

// Owning holders for the FFmpeg objects the export uses, each freed by its own library call. The
// only place that frees them: the writer and the tests keep these, never raw pointers they own.

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace strixc::exporting {

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
// An output context: closes its file (when opened) before freeing the context. Writing the
// trailer is the owner's business; without it the file is left incomplete.
struct OutputFormatFree {
  void operator()(AVFormatContext* f) const {
    if (f->pb != nullptr && !(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
    avformat_free_context(f);
  }
};
// An input context opened with avformat_open_input.
struct InputFormatFree {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatFree>;

// FFmpeg's text for an error code.
inline std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace strixc::exporting
