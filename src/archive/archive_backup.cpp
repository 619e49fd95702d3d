#include "archive/archive_backup.h"

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_format.h"
#include "archive/archive_location.h"
#include "archive/archive_reader.h"
#include "archive/archive_recorder.h"
#include "archive/archive_records.h"

namespace strixc::archive {

namespace {

// How far back StartTimes looks for a camera's key frame: a delta frame names its key frame, so one
// hop normally finds it; the steps only guard against a damaged archive whose links lead nowhere.
constexpr int kMaxKeySteps = 4096;

// The database's words when the ring has no second file to move on to: for the backup's one-file
// location this only means that the current file is full and the next one has to be created.
constexpr char kFileFull[] = "Archive file already full !";

int Percent(double part, double whole) {
  if (whole < 1 || part <= 0) return 0;
  return static_cast<int>(std::min(100.0, part * 100.0 / whole));
}

// One copy: the destination archive, its recorder and the bookkeeping of the messages already
// asked about.
class BackupRun {
 public:
  BackupRun(ArchiveDatabase* source, const ArchiveBackup::Options& options, ArchiveBackup::Listener* listener,
            const std::atomic<bool>& cancel)
      : source_(source), options_(options), listener_(listener), cancel_(cancel), dest_(options.destination) {}

  ArchiveBackup::Result Run();

 private:
  // Writes one record, creating files as the recorder asks for them. False when the copy ends here
  // (cancelled, or a write failed: result_.outcome says which).
  bool Copy(const RecordHeader& header, const std::vector<uint8_t>& payload);
  bool CreateNextFile();
  // Asks about messages that `log` gained since the last question about it. False when the answer
  // is to stop.
  bool AskNewMessages(ArchiveMessageLog& log, int* seen, ArchiveBackup::Question question);
  void ReportProgress(uint64_t time);

  ArchiveDatabase* const source_;
  const ArchiveBackup::Options& options_;
  ArchiveBackup::Listener* const listener_;
  const std::atomic<bool>& cancel_;
  bool stop_ = false;  // an answer ended the copy
  ArchiveDatabase dest_;
  ArchiveRecorder recorder_;  // after dest_: detached before the database goes
  ArchiveBackup::Result result_;
  int sourceSeen_ = 0;
  int destSeen_ = 0;
};

ArchiveBackup::Result BackupRun::Run() {
  result_.outcome = ArchiveBackup::Outcome::kCancelled;
  const std::vector<uint64_t> starts = ArchiveBackup::StartTimes(source_, options_.from, options_.cameraMask);
  uint64_t first = options_.from;
  for (int c = 0; c < ArchiveBackup::kCameras; ++c) {
    if ((options_.cameraMask >> c) & 1) first = std::min(first, starts[static_cast<size_t>(c)]);
  }
  ArchiveReader reader(source_);
  RecordHeader header;
  if (!reader.IsUsable() || !reader.Seek(first, &header)) {
    result_.outcome = ArchiveBackup::Outcome::kReadError;
    return result_;
  }

  // The destination folder is the database's only location; its default location goes without
  // touching any file. The database stays closed until its first file exists.
  dest_.MarkLocationDeleted(0);
  dest_.ApplyLocation(0, {}, {}, ArchiveDatabase::StatusText(), ArchiveFile::ProgressText(), true);
  dest_.AddLocation(options_.destination, options_.fileSize, options_.fileSize, 0);
  if (options_.writeFault) recorder_.SetWriteFault(options_.writeFault);
  recorder_.Attach(&dest_);
  recorder_.SetEnabled(true);
  // Messages the source held before the copy are not the copy's to ask about.
  sourceSeen_ = source_->MessageLog().Count();
  dest_.MessageLog().Reset();

  std::vector<uint8_t> payload;
  const int every = std::max(1, options_.progressEvery);
  while (!cancel_.load() && !stop_) {
    if (!reader.ReadRecord(&payload, &header, false)) {
      // The end of the archive, or a record that cannot be read: either way nothing follows.
      AskNewMessages(source_->MessageLog(), &sourceSeen_, ArchiveBackup::Question::kSourceMessages);
      break;
    }
    if (header.time > options_.to) break;
    const int camera = header.camera;
    if (camera < ArchiveBackup::kCameras && ((options_.cameraMask >> camera) & 1) &&
        header.time >= starts[static_cast<size_t>(camera)]) {
      if (!Copy(header, payload)) break;
      if (result_.first == 0) result_.first = header.time;
      result_.last = header.time;
      if (++result_.records % static_cast<uint64_t>(every) == 0) ReportProgress(header.time);
    }
    if (!AskNewMessages(source_->MessageLog(), &sourceSeen_, ArchiveBackup::Question::kSourceMessages) ||
        !AskNewMessages(dest_.MessageLog(), &destSeen_, ArchiveBackup::Question::kDestinationMessages)) {
      stop_ = true;
    }
  }
  dest_.Close();
  recorder_.Detach();
  listener_->SetStatus(ArchiveBackup::Status::kNone);
  if (result_.outcome != ArchiveBackup::Outcome::kWriteError) {
    result_.outcome = cancel_.load() || stop_ ? ArchiveBackup::Outcome::kCancelled : ArchiveBackup::Outcome::kFinished;
  }
  return result_;
}

bool BackupRun::Copy(const RecordHeader& header, const std::vector<uint8_t>& payload) {
  const auto type = static_cast<RecordType>(header.type);
  // The reader's buffer only grows: the record's own size says how much of it is this payload.
  if (header.payloadSize < 0 || static_cast<size_t>(header.payloadSize) > payload.size()) return true;
  const size_t size = static_cast<size_t>(header.payloadSize);
  // A record the recorder would refuse for its shape (a damaged event) is not worth a new file.
  if (type == RecordType::kEvent && size != kEventPayloadSize) return true;
  bool created = false;
  while (!recorder_.WriteRecord(type, header.camera, header.time, payload.data(), size)) {
    ArchiveMessageLog& log = recorder_.MessageLog();
    const bool full = log.Count() == 0 || (log.Count() == 1 && log.Summary().find(kFileFull) != std::string::npos);
    if (!full || created) {
      // A failed write, or a record that does not fit even into an empty file: creating more
      // files would never end. The files written so far stay as they are.
      result_.error = full ? "Record of " + std::to_string(header.payloadSize) +
                                 " bytes larger than an empty archive file"
                           : log.Summary(options_.words);
      listener_->Show(result_.error);
      result_.outcome = ArchiveBackup::Outcome::kWriteError;
      return false;
    }
    listener_->SetStatus(ArchiveBackup::Status::kCreatingFile);
    while (!CreateNextFile()) {
      if (cancel_.load() || listener_->Ask(ArchiveBackup::Question::kCancelOperation, std::string())) {
        stop_ = true;
        break;
      }
    }
    listener_->SetStatus(ArchiveBackup::Status::kCopying);
    if (stop_) return false;
    created = true;
  }
  return true;
}

bool BackupRun::CreateNextFile() {
  dest_.Close();
  dest_.MessageLog().Reset();
  destSeen_ = 0;
  const int64_t number = ArchiveBackup::HighestFileNumber(options_.destination) + 1;
  if (number > std::numeric_limits<int32_t>::max()) {
    result_.error = "No archive file number left in " + options_.destination;
    listener_->Show(result_.error);
    return false;
  }
  // Files of earlier backups lie below the location's first number, so the plan leaves them alone
  // and holds exactly the one new file.
  std::vector<ArchiveFileInfo> deleteList;
  std::vector<ArchiveFileInfo> createList;
  if (!dest_.UpdateLocation(0, options_.fileSize, options_.fileSize, number) ||
      !dest_.PlanLocation(0, &deleteList, &createList) || createList.size() != 1 || !deleteList.empty()) {
    return false;
  }
  const std::string path = createList.front().path;
  if (options_.askBeforeFile && !listener_->Ask(ArchiveBackup::Question::kCreateFile, path)) return false;
  dest_.ApplyLocation(0, deleteList, createList, ArchiveDatabase::StatusText(), ArchiveFile::ProgressText(), false);
  if (dest_.MessageLog().Count() == 0) dest_.Open(false);
  if (dest_.MessageLog().Count() != 0) {
    result_.error = dest_.MessageLog().Summary(options_.words);
    listener_->Show(result_.error);
    dest_.Close();
    destSeen_ = dest_.MessageLog().Count();
    return false;
  }
  result_.error.clear();
  result_.files.push_back(path);
  return true;
}

bool BackupRun::AskNewMessages(ArchiveMessageLog& log, int* seen, ArchiveBackup::Question question) {
  const int count = log.Count();
  if (count <= *seen) {
    *seen = count;  // the log was reset by its owner
    return true;
  }
  *seen = count;
  return listener_->Ask(question, log.Summary(options_.words));
}

void BackupRun::ReportProgress(uint64_t time) {
  const double done = time > options_.from ? static_cast<double>(time - options_.from) : 0.0;
  const int source = Percent(done, static_cast<double>(options_.to - options_.from));
  const uint64_t total = std::max<uint64_t>(dest_.TotalSize(), 1);
  const int destination = Percent(static_cast<double>(dest_.UsedSize()), static_cast<double>(total));
  listener_->Progress(result_.records, source, destination);
}

}  // namespace

ArchiveBackup::Refusal ArchiveBackup::Check(const Options& options) {
  if (options.to <= options.from) return Refusal::kEmptyRange;
  if ((options.cameraMask & ((1u << kCameras) - 1)) == 0) return Refusal::kNoCamera;
  if (options.destination.empty()) return Refusal::kNoDestination;
  if (options.fileSize < kMinFileSize) return Refusal::kSmallFile;
  return Refusal::kNone;
}

ArchiveBackup::Result ArchiveBackup::Run(const Options& options, Listener* listener) {
  if (Check(options) != Refusal::kNone || listener == nullptr || source_ == nullptr) {
    Result refused;
    refused.outcome = Outcome::kCancelled;
    return refused;
  }
  Options own = options;
  own.cameraMask &= (1u << kCameras) - 1;
  BackupRun run(source_, own, listener, cancel_);
  return run.Run();
}

int64_t ArchiveBackup::HighestFileNumber(const std::string& folder) {
  int64_t highest = -1;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return highest;
  // Every name of an archive file counts, whatever its size or kind: a new file must never take
  // the name of something already there.
  while (const dirent* entry = ::readdir(dir)) {
    if (const std::optional<int32_t> n = ParseArchiveFileName(entry->d_name)) highest = std::max<int64_t>(highest, *n);
  }
  ::closedir(dir);
  return highest;
}

std::vector<uint64_t> ArchiveBackup::StartTimes(ArchiveDatabase* source, uint64_t from, uint32_t cameraMask) {
  std::vector<uint64_t> starts(kCameras, 0);
  ArchiveReader reader(source);
  for (int c = 0; c < kCameras; ++c) {
    if (((cameraMask >> c) & 1) == 0) continue;
    uint64_t& start = starts[static_cast<size_t>(c)];
    start = from;
    RecordHeader h;
    if (!reader.PrevRecordOfCamera(c, from, &h)) continue;
    for (int step = 0; step < kMaxKeySteps; ++step) {
      if (h.type == static_cast<uint8_t>(RecordType::kKeyFrame)) {
        start = h.time;
        break;
      }
      // A delta frame carries the time of the key frame it needs; anything else steps back one.
      const bool named = h.type == static_cast<uint8_t>(RecordType::kDeltaFrame) && h.keyTime != 0 &&
                         h.keyTime < h.time;
      const uint64_t probe = named ? h.keyTime : h.time - 1;
      if (probe == 0 || !reader.PrevRecordOfCamera(c, probe, &h)) break;
    }
  }
  return starts;
}

}  // namespace strixc::archive
