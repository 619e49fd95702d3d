#include "sim/sim_archive.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "archive/archive_records.h"
#include "archive/archive_time.h"
#include "net/wire.h"
#include "sim/camera_feeds.h"
#include "sim/scene_archive_writer.h"

namespace strixc::sim {

namespace {

constexpr uint64_t kMaxBookmarkTime = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
// Lines longer than a title can make are not ours: the file is damaged there.
constexpr qint64 kMaxBookmarkLine = 1024;

std::string EscapeTitle(const std::string& title) {
  std::string out;
  for (char c : title) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UnescapeTitle(const QByteArray& text) {
  std::string out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    const char e = text[++i];
    out += e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e;
  }
  return out;
}

// A synthetic past for an archive without recordings: every camera of the server, moving, ending now.
bool WriteHistory(const SimConfig& config, std::string* error) {
  SceneArchiveOptions o;
  o.folder = config.archiveDir.toStdString();
  o.space = config.archiveSpace;
  o.fileSize = config.archiveFileSize;
  o.cameraMask = (1u << config.cameraCount) - 1;
  o.movingMask = o.cameraMask;
  o.width = config.cameraWidth;
  o.height = config.cameraHeight;
  o.fps = config.fps;
  o.duration = static_cast<uint64_t>(config.history.count()) * archive::kUnitsPerSecond;
  o.start = archive::ArchiveTimeNow() - o.duration;
  o.keyInterval = std::max(1, config.fps * SimArchive::kRecordKeyIntervalMs / 1000);
  o.keyQuality = SimArchive::kRecordKeyQuality;
  o.deltaQuality = SimArchive::kRecordDeltaQuality;
  if (o.duration > SimArchive::kHistoryLoop) o.loop = SimArchive::kHistoryLoop;
  const SceneArchiveResult result = WriteSceneArchive(o);
  if (!result.ok) *error = "cannot write the history: " + result.error;
  return result.ok;
}

}  // namespace

SimArchive::SimArchive(const SimConfig& config, LogSink log)
    : folder_(config.archiveDir.toStdString()),
      bookmarksReadOnly_(config.bookmarksReadOnly),
      log_(config.verbose ? std::move(log) : LogSink{}) {}

SimArchive::~SimArchive() {
  if (recorder_) recorder_->Detach();
}

std::unique_ptr<SimArchive> SimArchive::Open(const SimConfig& config, LogSink log, std::string* error) {
  std::unique_ptr<SimArchive> a(new SimArchive(config, std::move(log)));
  if (!QDir().mkpath(config.archiveDir)) {
    *error = "cannot create the archive folder " + a->folder_;
    return nullptr;
  }
  archive::ScanSummary scan;
  {
    archive::ArchiveDatabase probe(a->folder_);
    scan = probe.ScanPath(a->folder_);
  }
  bool haveFiles = scan.fileCount > 0;
  if (scan.latest == 0 && config.history.count() > 0) {
    // The writer makes the files itself, with the configured sizes.
    if (!WriteHistory(config, error)) return nullptr;
    haveFiles = true;
    scan.totalSize = config.archiveSpace;
    scan.largestFile = config.archiveFileSize;
  }
  if (config.record || !haveFiles) {
    // Files already there keep their sizes: the location is described as they are.
    const uint64_t space = scan.fileCount > 0 ? scan.totalSize : config.archiveSpace;
    const uint64_t fileSize = scan.fileCount > 0 ? scan.largestFile : config.archiveFileSize;
    a->db_ = OpenRecordingLocation(a->folder_, space, fileSize, error);
    if (!a->db_) return nullptr;
  } else {
    a->db_ = archive::ArchiveDatabase::ForFolder(a->folder_, a->folder_);
    if (!a->db_->IsOpen()) {
      *error = "cannot open the archive: " + a->db_->MessageLog().Summary();
      return nullptr;
    }
  }
  if (config.record) {
    a->recorder_ = std::make_unique<archive::ArchiveRecorder>();
    a->recorder_->Attach(a->db_.get());
    a->recorder_->SetEnabled(true);
    const int interval = config.keyFrameIntervalMs > 0 ? config.keyFrameIntervalMs : kRecordKeyIntervalMs;
    a->streamer_ = std::make_unique<FrameStreamer>(config.fps, interval);
    a->recordState_.transmit = true;
    a->recordState_.visibleMask = (1u << config.cameraCount) - 1;
    a->recordState_.quality = net::Quality{kRecordKeyQuality, kRecordDeltaQuality};
  }
  a->LoadBookmarks();
  return a;
}

net::ArchiveRange SimArchive::Range() {
  net::ArchiveRange range;
  range.cameraMask = db_->CameraMask() & 0xFFFFu;
  range.first = archive::ToWallClock(db_->Earliest());
  range.second = archive::ToWallClock(db_->Latest());
  return range;
}

// --- Recording -------------------------------------------------------------------------------

void SimArchive::RecordTick(const CameraFeeds& feeds) {
  if (!recorder_) return;
  // The recorder is one more client of the cameras, with its own key and delta frames: what a
  // live client got depends on what it had, what the archive holds must stand on its own.
  streamer_->OnTick(feeds, recordState_, [this](const net::Payload& frame) { WriteFrame(frame); });
}

void SimArchive::WriteFrame(const net::Payload& frame) {
  const auto view = net::ParseFrame(frame.data(), frame.size());
  if (!view) return;
  const net::FrameHeader& h = view->header;
  const uint64_t time = archive::FromWallClock(h.time);
  bool ok = false;
  switch (net::KindOfFrame(h.flags)) {
    case net::FrameKind::kKey:
    case net::FrameKind::kDelta: {
      const auto type = net::KindOfFrame(h.flags) == net::FrameKind::kKey ? archive::RecordType::kKeyFrame
                                                                           : archive::RecordType::kDeltaFrame;
      ok = recorder_->WriteRecord(type, h.camera, time, view->data, h.dataLength);
      break;
    }
    case net::FrameKind::kEvent: {
      // A live event frame is the u32 flag and the zero-terminated text; the archive keeps the
      // whole event record.
      if (h.dataLength < 4) return;
      archive::EventPayload event;
      event.flag = net::wire::U32(view->data);
      const auto* text = reinterpret_cast<const char*>(view->data + 4);
      event.text.assign(text, strnlen(text, h.dataLength - 4));
      eventPayload_.assign(archive::kEventPayloadSize, 0);
      event.Encode(eventPayload_.data());
      ok = recorder_->WriteRecord(archive::RecordType::kEvent, h.camera, time, eventPayload_.data(),
                                  eventPayload_.size());
      break;
    }
    case net::FrameKind::kNone:
      return;
  }
  if (ok) {
    recordedFrames_.fetch_add(1);
    writeFailed_ = false;
  } else if (!writeFailed_) {
    // Once per run of failures, not once per frame.
    writeFailed_ = true;
    Log("archive: recording failed: " + recorder_->MessageLog().Summary());
  }
}

// --- Bookmarks -------------------------------------------------------------------------------

uint8_t SimArchive::EditBookmark(const net::BookmarkEditRecord& edit) {
  if (bookmarksReadOnly_) return kEditRefused;
  if (edit.time == 0 || edit.time > kMaxBookmarkTime) return kEditNotPossible;
  {
    std::lock_guard<std::mutex> guard(lock_);
    switch (edit.operation) {
      case net::bookmark_op::kAdd:
        AddLocked(edit.time, edit.title);
        break;
      case net::bookmark_op::kRemove:
        if (bookmarks_.erase(edit.time) == 0) return kEditNotPossible;
        break;
      default:
        return kEditNotPossible;
    }
  }
  // The list in memory is what clients see; a file that cannot be written only costs the restart.
  if (!SaveBookmarks()) Log("archive: cannot write the bookmark file");
  return kEditDone;
}

void SimArchive::AddLocked(uint64_t time, std::string title) {
  if (title.size() >= net::kBookmarkTitleSize) title.resize(net::kBookmarkTitleSize - 1);
  bookmarks_[time] = std::move(title);
  if (bookmarks_.size() > kMaxBookmarks) bookmarks_.erase(bookmarks_.begin());
}

size_t SimArchive::BookmarkCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return bookmarks_.size();
}

bool SimArchive::BookmarkTitle(uint64_t time, std::string* title) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = bookmarks_.find(time);
  if (it == bookmarks_.end()) return false;
  *title = it->second;
  return true;
}

std::vector<uint64_t> SimArchive::BookmarksIn(uint64_t t0, uint64_t t1, int columns) {
  std::vector<uint64_t> out;
  if (t1 <= t0 || columns <= 0) return out;
  std::lock_guard<std::mutex> guard(lock_);
  // The first bookmark of each column; 128-bit, as a time span times a column count overflows 64.
  const unsigned __int128 span = t1 - t0;
  unsigned __int128 nextColumn = 0;
  for (auto it = bookmarks_.lower_bound(t0); it != bookmarks_.end() && it->first < t1; ++it) {
    const unsigned __int128 column = static_cast<unsigned __int128>(it->first - t0) * static_cast<unsigned>(columns) / span;
    if (column < nextColumn) continue;
    out.push_back(it->first);
    nextColumn = column + 1;
  }
  return out;
}

uint64_t SimArchive::NextBookmark(uint64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = bookmarks_.upper_bound(time);
  return it == bookmarks_.end() ? 0 : it->first;
}

uint64_t SimArchive::PreviousBookmark(uint64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = bookmarks_.lower_bound(time);
  return it == bookmarks_.begin() ? 0 : std::prev(it)->first;
}

void SimArchive::LoadBookmarks() {
  QFile file(QString::fromStdString(folder_) + QLatin1Char('/') + QLatin1String(kBookmarkFileName));
  if (!file.open(QIODevice::ReadOnly)) return;
  std::lock_guard<std::mutex> guard(lock_);
  size_t lines = 0;
  while (!file.atEnd() && lines++ < kMaxBookmarks) {
    QByteArray line = file.readLine(kMaxBookmarkLine);
    if (line.endsWith('\n')) line.chop(1);
    const qsizetype space = line.indexOf(' ');
    bool ok = false;
    const qulonglong time = line.left(space < 0 ? line.size() : space).toULongLong(&ok);
    if (!ok || time == 0 || time > kMaxBookmarkTime) continue;
    AddLocked(time, space < 0 ? std::string() : UnescapeTitle(line.mid(space + 1)));
  }
}

bool SimArchive::SaveBookmarks() {
  std::lock_guard<std::mutex> fileGuard(fileLock_);
  std::string text;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [time, title] : bookmarks_) text += std::to_string(time) + ' ' + EscapeTitle(title) + '\n';
  }
  QSaveFile file(QString::fromStdString(folder_) + QLatin1Char('/') + QLatin1String(kBookmarkFileName));
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text.data(), static_cast<qint64>(text.size()));
  return file.commit();
}

}  // namespace strixc::sim
