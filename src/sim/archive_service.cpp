#include "sim/archive_service.h"

#include <algorithm>
#include <cstdio>

#include "archive/archive_time.h"
#include "net/protocol.h"

namespace strixc::sim {

namespace {

constexpr int kCameras = net::kCameraCount;

bool Has(uint32_t mask, int camera) { return (mask >> camera) & 1u; }

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

}  // namespace

// The frames of one answer: each goes out once the next one is known, so that the last one can
// carry the last-frame flag; Finish sends it, or a frame without picture when there was none.
class ArchiveService::Answer {
 public:
  Answer(const FrameSink& sink, uint32_t token) : sink_(sink), token_(token) {}

  void Record(const archive::RecordHeader& h, const uint8_t* payload) {
    net::FrameHeader header;
    header.time = archive::ToWallClock(h.time);
    header.token = token_;
    header.camera = h.camera;
    const uint8_t* data = payload;
    size_t size = static_cast<size_t>(h.payloadSize);
    switch (static_cast<archive::RecordType>(h.type)) {
      case archive::RecordType::kKeyFrame:
        header.flags = net::frame_flag::kRemote | net::frame_flag::kKey;
        break;
      case archive::RecordType::kDeltaFrame:
        header.flags = net::frame_flag::kRemote | net::frame_flag::kDelta;
        break;
      case archive::RecordType::kEvent: {
        // A remote event frame carries the text alone; the client rebuilds the record around it.
        header.flags = net::frame_flag::kRemote | net::frame_flag::kEvent;
        if (size < archive::kEventPayloadSize) return;
        const archive::EventPayload event = archive::EventPayload::Decode(payload);
        text_ = event.text;
        data = reinterpret_cast<const uint8_t*>(text_.data());
        size = text_.size();
        break;
      }
      default:
        return;
    }
    header.dataLength = static_cast<uint32_t>(size);
    Push(header, data, size);
  }

  // A camera with nothing to show: time 0, no picture.
  void Nothing(int camera) {
    net::FrameHeader header;
    header.token = token_;
    header.camera = static_cast<uint8_t>(camera);
    header.flags = net::frame_flag::kRemote | net::frame_flag::kNoPicture;
    Push(header, nullptr, 0);
  }

  size_t Finish(int emptyCamera) {
    if (!pending_ && frames_ == 0) Nothing(emptyCamera);
    if (pending_) {
      // Bit 7 of the flags, at offset 15 of the frame header.
      (*pending_)[15] |= static_cast<uint8_t>(net::frame_flag::kLast);
      sink_(*pending_);
      pending_.reset();
    }
    return frames_;
  }

  size_t Frames() const { return frames_; }
  size_t Bytes() const { return bytes_; }
  bool Full() const { return frames_ >= kMaxAnswerFrames || bytes_ >= kMaxAnswerBytes; }

 private:
  void Push(const net::FrameHeader& header, const uint8_t* data, size_t size) {
    if (pending_) sink_(*pending_);
    pending_ = net::BuildFrame(header, data, size);
    ++frames_;
    bytes_ += pending_->size();
  }

  const FrameSink& sink_;
  const uint32_t token_;
  std::optional<net::Payload> pending_;
  std::string text_;
  size_t frames_ = 0;
  size_t bytes_ = 0;
};

ArchiveService::ArchiveService(std::shared_ptr<SimArchive> archive)
    : archive_(std::move(archive)), reader_(&archive_->Database()) {}

void ArchiveService::OnArchiveOpen(bool open) {
  open_ = open;
  walking_ = false;
  walkMask_ = 0;
  headers_ = {};
}

std::optional<net::Payload> ArchiveService::AnswerMap(const net::ArchiveMapRequest& request) {
  const uint64_t t0 = archive::FromWallClock(request.start);
  const uint64_t t1 = archive::FromWallClock(request.end);
  if (request.width == 0 || request.width > kMaxMapWidth || request.end <= request.start || t1 <= t0) {
    Log("archive: map request refused: width " + std::to_string(request.width) + ", " +
        std::to_string(request.start) + " to " + std::to_string(request.end));
    return std::nullopt;
  }
  std::vector<uint32_t> recorded(request.width), clear(request.width), set(request.width);
  reader_.Activity(t0, t1, recorded, clear, set);
  net::ArchiveMap map;
  map.start = request.start;
  map.end = request.end;
  // The bins cover exactly the asked period.
  map.time3 = request.start;
  map.time4 = request.end;
  // Recorded, then clear events (red), then set events (yellow): the timeline's order.
  const std::vector<uint32_t>* masks[3] = {&recorded, &clear, &set};
  for (size_t k = 0; k < 3; ++k) {
    map.lists[k].resize(request.width);
    std::transform(masks[k]->begin(), masks[k]->end(), map.lists[k].begin(),
                   [](uint32_t m) { return static_cast<uint16_t>(m & kAllCameras); });
  }
  map.values = archive_->BookmarksIn(request.start, request.end, static_cast<int>(request.width));
  if (archive_->Verbose())
    Log("archive: map of " + std::to_string(request.width) + " slots, " + std::to_string(map.values.size()) +
        " bookmarks");
  return net::BuildArchiveMap(map);
}

std::optional<net::Payload> ArchiveService::AnswerPlaybackControl(uint8_t operation, uint64_t time) {
  std::string title;
  if (operation != 1 || !archive_->BookmarkTitle(time, &title)) {
    Log("archive: no bookmark title for operation " + std::to_string(operation) + " at " + std::to_string(time));
    return std::nullopt;
  }
  if (archive_->Verbose()) Log("archive: bookmark title at " + std::to_string(time));
  return net::BuildBookmarkNotice(net::BookmarkNotice{time, title});
}

size_t ArchiveService::AnswerPlayback(const net::PlaybackRequestRecord& r, const FrameSink& sink) {
  const uint32_t mask = r.cameraMask & kAllCameras;
  uint32_t asked = mask;
  if (r.mode == kPosition && r.argument != kAllShownCameras) {
    if (r.argument >= static_cast<uint32_t>(kCameras)) {
      Log("archive: playback request refused: camera " + std::to_string(r.argument));
      return 0;
    }
    // The camera clicked on and every other shown camera: after a seek each visible cell shows
    // its picture at the time, as a local archive's player redraws them.
    asked = mask | (1u << r.argument);
  }
  Answer answer(sink, r.token);
  switch (r.mode) {
    case kPosition:
      Position(archive::FromWallClock(r.time), asked, mask, answer);
      break;
    case kNextBookmark:
    case kPreviousBookmark: {
      const uint64_t mark = r.mode == kNextBookmark ? archive_->NextBookmark(r.time) : archive_->PreviousBookmark(r.time);
      // Without a bookmark that way the playback stays where it is.
      Position(archive::FromWallClock(mark != 0 ? mark : r.time), asked, mask, answer);
      break;
    }
    case kForward:
      Forward(answer);
      break;
    case kBackward:
      Backward(answer);
      break;
    default:
      Log("archive: playback request refused: mode " + std::to_string(r.mode));
      return 0;
  }
  // An empty answer speaks for the first asked camera.
  int first = 0;
  while (asked != 0 && !Has(asked, first)) ++first;
  const size_t frames = answer.Finish(first);
  if (archive_->Verbose())
    Log("archive: playback mode " + std::to_string(r.mode) + " token " + std::to_string(r.token) + " cameras " +
        Hex(mask) + " argument " + std::to_string(static_cast<int32_t>(r.argument)) + " time " +
        std::to_string(r.time) + ": " + std::to_string(frames) + " frames, " + std::to_string(answer.Bytes()) +
        " bytes");
  return frames;
}

void ArchiveService::Position(uint64_t time, uint32_t asked, uint32_t mask, Answer& answer) {
  // The walk goes on with every shown camera, also those not asked now: each keeps its last
  // record at or before the new position.
  walkMask_ = mask | asked;
  headers_ = {};
  for (int c = 0; c < kCameras; ++c) {
    if (!Has(walkMask_, c)) continue;
    archive::RecordHeader last;
    const bool found = time != 0 && reader_.PrevRecordOfCamera(c, time, &last);
    if (found) headers_[static_cast<size_t>(c)] = last;
    if (!Has(asked, c)) continue;
    if (!found || !SendGroup(c, last, answer)) answer.Nothing(c);
  }
  walking_ = true;
}

bool ArchiveService::SendGroup(int camera, const archive::RecordHeader& last, Answer& answer) {
  const auto type = static_cast<archive::RecordType>(last.type);
  // A delta frame names its key frame; key frames and events stand alone.
  const uint64_t from =
      type == archive::RecordType::kDeltaFrame && last.keyTime != 0 && last.keyTime <= last.time ? last.keyTime
                                                                                                   : last.time;
  archive::RecordHeader h;
  if (!reader_.SeekCamera(camera, from, &h)) return false;
  bool started = false;
  for (size_t n = 0; n < kMaxGroupFrames; ++n) {
    if (!reader_.ReadRecord(&payload_, &h, true) || h.time > last.time) break;
    // Deltas before a key frame (the ring took the key frame's file) would decode into nothing.
    started = started || h.type != static_cast<uint8_t>(archive::RecordType::kDeltaFrame);
    if (started) answer.Record(h, payload_.data());
    if (h.time == last.time) break;
  }
  return started;
}

void ArchiveService::Forward(Answer& answer) {
  if (!walking_) return;
  std::array<bool, archive::kCameraSlots> selected{};
  for (int c = 0; c < kCameras; ++c) selected[static_cast<size_t>(c)] = Has(walkMask_, c);
  uint64_t first = 0;
  while (!answer.Full()) {
    const uint64_t next = reader_.NextTimeAmongCameras(headers_, selected);
    if (next == 0 || (answer.Frames() > 0 && next > first + kForwardBatch)) break;
    int camera = 0;
    if (!reader_.NextAmongCameras(headers_, selected, &payload_, &camera)) break;
    const archive::RecordHeader& h = headers_[static_cast<size_t>(camera)];
    if (answer.Frames() == 0) first = h.time;
    answer.Record(h, payload_.data());
  }
}

bool ArchiveService::PrevKeyFrame(int camera, uint64_t time, archive::RecordHeader* key) {
  uint64_t before = time;
  for (int i = 0; i < kMaxKeySearch && before > 1; ++i) {
    archive::RecordHeader h;
    if (!reader_.PrevRecordOfCamera(camera, before - 1, &h)) return false;
    if (h.type == static_cast<uint8_t>(archive::RecordType::kKeyFrame)) {
      *key = h;
      return true;
    }
    // A delta leads straight to its key frame; an event only to what lies before it.
    const bool delta = h.type == static_cast<uint8_t>(archive::RecordType::kDeltaFrame);
    before = delta && h.keyTime != 0 && h.keyTime < h.time ? h.keyTime + 1 : h.time;
  }
  return false;
}

void ArchiveService::Backward(Answer& answer) {
  if (!walking_) return;
  // Each camera's next key frame back from the record it shows; the newest of them goes first.
  std::array<std::optional<archive::RecordHeader>, kCameras> next;
  for (int c = 0; c < kCameras; ++c) {
    const archive::RecordHeader& shown = headers_[static_cast<size_t>(c)];
    archive::RecordHeader key;
    if (Has(walkMask_, c) && shown.time != 0 && PrevKeyFrame(c, shown.time, &key)) next[static_cast<size_t>(c)] = key;
  }
  uint64_t first = 0;
  while (!answer.Full()) {
    int best = -1;
    for (int c = 0; c < kCameras; ++c) {
      if (next[static_cast<size_t>(c)] && (best < 0 || next[static_cast<size_t>(c)]->time > next[static_cast<size_t>(best)]->time))
        best = c;
    }
    if (best < 0) break;
    const archive::RecordHeader key = *next[static_cast<size_t>(best)];
    if (answer.Frames() > 0 && key.time + kBackwardSpan < first) break;
    next[static_cast<size_t>(best)].reset();
    // Read it again for its payload: the search moved the reader on.
    archive::RecordHeader h;
    if (!reader_.PrevRecordOfCamera(best, key.time, &h) || h.time != key.time ||
        !reader_.ReadRecord(&payload_, &h, true))
      continue;
    if (answer.Frames() == 0) first = key.time;
    answer.Record(h, payload_.data());
    headers_[static_cast<size_t>(best)] = key;
    archive::RecordHeader earlier;
    if (PrevKeyFrame(best, key.time, &earlier)) next[static_cast<size_t>(best)] = earlier;
  }
}

}  // namespace strixc::sim
