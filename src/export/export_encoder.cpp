#include "export/export_encoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace strixc::exporting {

namespace {

// FFmpeg's own messages would go to the standard error of the station and of every tool run; the
// writer reports its failures itself.
void QuietFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

bool IsLossless(const std::string& codec) { return codec == "ffv1" || codec == "rawvideo"; }

// Lossy encoders get their first (4:2:0) format, which every player decodes; lossless ones the
// format that loses nothing of our BGR pictures.
AVPixelFormat EncoderPixelFormat(const AVCodec* codec, const std::string& name) {
  if (codec->pix_fmts == nullptr) return AV_PIX_FMT_BGR24;
  if (!IsLossless(name)) return codec->pix_fmts[0];
  int loss = 0;
  return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_BGR24, 0, &loss);
}

}  // namespace

bool ExportEncoder::Fail(const std::string& what, int code) {
  failed_ = true;
  error_ = code < 0 ? what + ": " + AvErrorText(code) : what;
  return false;
}

bool ExportEncoder::Create(const std::string& fileName, Container container) {
  QuietFfmpeg();
  AVFormatContext* raw = nullptr;
  int rc = avformat_alloc_output_context2(&raw, nullptr, ContainerMuxer(container), fileName.c_str());
  if (rc < 0 || raw == nullptr) return Fail("cannot set up the container", rc);
  format_.reset(raw);
  rc = avio_open(&format_->pb, fileName.c_str(), AVIO_FLAG_WRITE);
  if (rc < 0) return Fail("cannot create " + fileName, rc);
  packet_.reset(av_packet_alloc());
  if (!packet_) return Fail("out of memory", 0);
  return true;
}

bool ExportEncoder::Start(const ExportCompression& compression, int width, int height, int framesPerSecond,
                          int timeBase) {
  if (!format_ || failed_ || codec_) return Fail("the encoder is not ready to start", 0);
  if (width <= 0 || height <= 0 || framesPerSecond <= 0 || timeBase <= 0) return Fail("bad stream parameters", 0);
  const AVCodec* codec = avcodec_find_encoder_by_name(compression.codec.c_str());
  if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO) return Fail("no encoder " + compression.codec, 0);
  stream_ = avformat_new_stream(format_.get(), nullptr);
  if (stream_ == nullptr) return Fail("cannot add the stream", 0);
  CodecContextPtr c(avcodec_alloc_context3(codec));
  if (!c) return Fail("out of memory", 0);
  c->width = width;
  c->height = height;
  c->time_base = AVRational{1, timeBase};
  c->framerate = AVRational{framesPerSecond, 1};
  c->pix_fmt = EncoderPixelFormat(codec, compression.codec);
  if (compression.keyFrameInterval > 0) c->gop_size = compression.keyFrameInterval;
  // As many threads as the machine has: the export runs as fast as the disk and the CPUs allow.
  c->thread_count = 0;
  if (c->pix_fmt == AV_PIX_FMT_YUVJ420P || c->pix_fmt == AV_PIX_FMT_YUVJ422P || c->pix_fmt == AV_PIX_FMT_YUVJ444P)
    c->color_range = AVCOL_RANGE_JPEG;
  if (!IsLossless(compression.codec)) {
    if (compression.codec == "libx264") {
      av_opt_set_int(c->priv_data, "crf", QualityToCrf(compression.quality), 0);
      av_opt_set(c->priv_data, "preset", "veryfast", 0);
    } else {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = FF_QP2LAMBDA * QualityToQScale(compression.quality);
    }
  }
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int rc = avcodec_open2(c.get(), codec, nullptr);
  if (rc < 0) return Fail("cannot open the encoder " + compression.codec, rc);
  rc = avcodec_parameters_from_context(stream_->codecpar, c.get());
  if (rc < 0) return Fail("cannot describe the stream", rc);
  stream_->time_base = c->time_base;
  stream_->avg_frame_rate = c->framerate;

  frame_.reset(av_frame_alloc());
  if (!frame_) return Fail("out of memory", 0);
  frame_->format = c->pix_fmt;
  frame_->width = width;
  frame_->height = height;
  rc = av_frame_get_buffer(frame_.get(), 0);
  if (rc < 0) return Fail("cannot allocate the picture", rc);
  sws_.reset(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, c->pix_fmt, SWS_BICUBIC, nullptr,
                            nullptr, nullptr));
  if (!sws_) return Fail("cannot convert BGR pictures to the encoder's format", 0);
  rc = avformat_write_header(format_.get(), nullptr);
  if (rc < 0) return Fail("cannot write the file header", rc);
  codec_ = std::move(c);
  width_ = width;
  height_ = height;
  return true;
}

bool ExportEncoder::Encode(const uint8_t* bits, int stride, int64_t pts) {
  if (!codec_ || failed_) return Fail("the encoder is not started", 0);
  // The encoder may still hold the previous picture (frame threads, look-ahead).
  int rc = av_frame_make_writable(frame_.get());
  if (rc < 0) return Fail("cannot allocate the picture", rc);
  // Bottom-up rows: start at the last row and step backwards, so the encoder sees the top first.
  const uint8_t* src[1] = {bits + static_cast<ptrdiff_t>(height_ - 1) * stride};
  const int srcStride[1] = {-stride};
  sws_scale(sws_.get(), src, srcStride, 0, height_, frame_->data, frame_->linesize);
  return Repeat(pts);
}

bool ExportEncoder::Repeat(int64_t pts) {
  if (!codec_ || failed_) return Fail("the encoder is not started", 0);
  frame_->pts = pts;
  return Send(frame_.get());
}

bool ExportEncoder::Send(const AVFrame* frame) {
  int rc = avcodec_send_frame(codec_.get(), frame);
  if (rc < 0) return Fail("the encoder refused a picture", rc);
  for (;;) {
    rc = avcodec_receive_packet(codec_.get(), packet_.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
    if (rc < 0) return Fail("the encoder failed", rc);
    av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
    packet_->stream_index = stream_->index;
    rc = av_interleaved_write_frame(format_.get(), packet_.get());
    if (rc < 0) return Fail("cannot write to the file", rc);
  }
  // The file layer buffers: a full disk shows here, at the first flush that fails.
  if (format_->pb->error < 0) return Fail("cannot write to the file", format_->pb->error);
  return true;
}

bool ExportEncoder::Finish() {
  if (!format_ || failed_) return Fail(error_.empty() ? "nothing to finish" : error_, 0);
  if (!codec_) return Fail("no picture was written", 0);
  if (!Send(nullptr)) return false;
  int rc = av_write_trailer(format_.get());
  if (rc < 0) return Fail("cannot complete the file", rc);
  avio_flush(format_->pb);
  if (format_->pb->error < 0) return Fail("cannot write to the file", format_->pb->error);
  rc = avio_closep(&format_->pb);
  if (rc < 0) return Fail("cannot close the file", rc);
  format_.reset();
  return true;
}

}  // namespace strixc::exporting
