#include "archive/archive_database.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <utility>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "archive/archive_time.h"
#include "settings/settings_key.h"

namespace strixc::archive {

namespace {

constexpr char kNotPermitted[] = "Not permited database modification !";
constexpr char kNotOpen[] = "Database not open !";

// `format` is one of the program's own texts: two %s, and optionally a %d after them.
std::string Format(const char* format, const std::string& a, const std::string& b, int number = 0) {
  const int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str(), number);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, a.c_str(), b.c_str(), number);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Empty files go after every non-empty one. Equal times (empty files above all) keep the order of
// the locations and, within one, of the file numbers: a folder listing comes in no fixed order here,
// and the ring must fill a new archive's files one after the other.
void SortByTime(std::vector<ArchiveFileInfo>* files) {
  std::stable_sort(files->begin(), files->end(),
                   [](const ArchiveFileInfo& a, const ArchiveFileInfo& b) {
                     if (a.IsEmpty() != b.IsEmpty()) return b.IsEmpty();
                     if (a.firstTime != b.firstTime) return a.firstTime < b.firstTime;
                     if (a.location != b.location) return a.location < b.location;
                     return a.number < b.number;
                   });
}

// The numbers of every entry of `folder` named like an archive file, whatever it is.
std::set<int32_t> ArchiveNamesIn(const std::string& folder) {
  std::set<int32_t> numbers;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return numbers;
  while (const dirent* entry = ::readdir(dir)) {
    if (const std::optional<int32_t> number = ParseArchiveFileName(entry->d_name)) numbers.insert(*number);
  }
  ::closedir(dir);
  return numbers;
}

void PutLocationU64(settings::SettingsKey& key, const char* name, uint64_t value) {
  uint8_t bytes[8];
  PutU64(bytes, value);
  key.WriteBinary(name, bytes, sizeof bytes);
}

std::string LocationKey(const std::string& key, size_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "Location%03zu", index);
  return key + "\\Locations\\" + name;
}

}  // namespace

ArchiveDatabase::ArchiveDatabase(const std::string& dataFolder) {
  ArchiveLocation location;
  location.path = JoinPath(dataFolder, kDefaultFolderName);
  location.space = kDefaultSpace;
  location.maxFileSize = kDefaultMaxFileSize;
  locations_.push_back(location);
}

ArchiveDatabase::~ArchiveDatabase() {
  // The reader unregisters its slot through this object: it goes while everything still stands.
  ReleaseReader();
  std::lock_guard<std::mutex> guard(lock_);
  CloseLocked();
}

std::unique_ptr<ArchiveDatabase> ArchiveDatabase::ForFolder(const std::string& folder,
                                                            const std::string& dataFolder) {
  auto db = std::make_unique<ArchiveDatabase>(dataFolder);
  // Dropping the default location through an empty rebuild touches no file.
  db->MarkLocationDeleted(0);
  db->ApplyLocation(0, {}, {}, StatusText(), ArchiveFile::ProgressText(), true);
  db->AddLocation(folder, ArchiveLocation::kMinSize, ArchiveLocation::kMinSize, 0);
  db->Open(true);
  return db;
}

// ---------------------------------------------------------------------------------------------
// Settings

void ArchiveDatabase::LoadSettings(settings::SettingsDatabase& db, const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  bookmarks_.Load(db, key + "\\Bookmarks");
  uint32_t count = 0;
  settings::SettingsKey(db, key + "\\Locations").ReadDword("LocationCount", &count);
  count = std::min(count, kMaxLocations);
  locations_.resize(count);
  for (size_t i = 0; i < locations_.size(); ++i) {
    ArchiveLocation& location = locations_[i];
    settings::SettingsKey lk(db, LocationKey(key, i));
    lk.ReadString("Path", &location.path);
    lk.ReadDword("MinFileNumber", &location.minFileNumber);
    uint8_t bytes[8];
    if (lk.ReadBinary("Space", bytes, sizeof bytes)) location.space = GetU64(bytes);
    if (lk.ReadBinary("MaxFileSize", bytes, sizeof bytes)) location.maxFileSize = GetU64(bytes);
  }
}

bool ArchiveDatabase::SaveSettings(settings::SettingsDatabase& db, const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  // Outside the transaction: the bookmark store takes its own lock before the settings lock (an Add
  // on the network thread holds the one while it waits for the other).
  bookmarks_.Save(key + "\\Bookmarks");
  return db.Transaction([&] {
    settings::SettingsKey locationsKey(db, key + "\\Locations");
    if (!locationsKey.Clear()) return false;
    if (!locationsKey.WriteDword("LocationCount", static_cast<uint32_t>(locations_.size()))) {
      return false;
    }
    for (size_t i = 0; i < locations_.size(); ++i) {
      const ArchiveLocation& location = locations_[i];
      settings::SettingsKey lk(db, LocationKey(key, i));
      if (!lk.WriteString("Path", location.path)) return false;
      if (!lk.WriteDword("MinFileNumber", location.minFileNumber)) return false;
      PutLocationU64(lk, "Space", location.space);
      PutLocationU64(lk, "MaxFileSize", location.maxFileSize);
    }
    return true;
  });
}

// ---------------------------------------------------------------------------------------------
// Locations

int ArchiveDatabase::LocationCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(locations_.size());
}

bool ArchiveDatabase::GetLocation(int index, ArchiveLocation* out) {
  std::lock_guard<std::mutex> guard(lock_);
  if (index < 0 || static_cast<size_t>(index) >= locations_.size()) return false;
  *out = locations_[static_cast<size_t>(index)];
  return true;
}

std::string ArchiveDatabase::LocationPath(int index) {
  ArchiveLocation location;
  return GetLocation(index, &location) ? location.path : std::string();
}

int ArchiveDatabase::FindLocation(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  for (size_t i = 0; i < locations_.size(); ++i) {
    if (locations_[i].path == path) return static_cast<int>(i);
  }
  return -1;
}

bool ArchiveDatabase::RefuseWhileOpen() {
  if (!open_) return false;
  log_.Add(kNotPermitted, true);
  return true;
}

int ArchiveDatabase::AddLocation(const std::string& path, uint64_t space, uint64_t maxFileSize,
                                 int64_t minFileNumber) {
  std::lock_guard<std::mutex> guard(lock_);
  if (RefuseWhileOpen()) return -1;
  for (const ArchiveLocation& location : locations_) {
    if (location.path == path) return -1;
  }
  ArchiveLocation location;
  location.path = path;
  location.space = ArchiveLocation::ClampSize(space);
  location.maxFileSize = ArchiveLocation::ClampSize(maxFileSize);
  location.minFileNumber = ArchiveLocation::ClampMinFileNumber(minFileNumber);
  locations_.push_back(location);
  return static_cast<int>(locations_.size()) - 1;
}

bool ArchiveDatabase::UpdateLocation(int index, uint64_t space, uint64_t maxFileSize,
                                     int64_t minFileNumber) {
  std::lock_guard<std::mutex> guard(lock_);
  if (RefuseWhileOpen()) return false;
  if (index < 0 || static_cast<size_t>(index) >= locations_.size()) return false;
  ArchiveLocation& location = locations_[static_cast<size_t>(index)];
  location.space = ArchiveLocation::ClampSize(space);
  location.maxFileSize = ArchiveLocation::ClampSize(maxFileSize);
  location.minFileNumber = ArchiveLocation::ClampMinFileNumber(minFileNumber);
  return true;
}

bool ArchiveDatabase::MarkLocationDeleted(int index) {
  std::lock_guard<std::mutex> guard(lock_);
  if (RefuseWhileOpen()) return false;
  if (index < 0 || static_cast<size_t>(index) >= locations_.size()) return false;
  locations_[static_cast<size_t>(index)].space = 0;
  locations_[static_cast<size_t>(index)].maxFileSize = 0;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Scans

void ArchiveDatabase::LogSystem(const char* format, const std::string& path,
                                const std::string& text, bool isError) {
  log_.Add(Format(format, path, text), isError);
}

void ArchiveDatabase::ScanFolder(int location, const std::string& folder, uint32_t minFileNumber,
                                 std::vector<ArchiveFileInfo>* files) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;  // a location whose folder does not exist yet simply has no files
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!ParseArchiveFileName(name)) continue;
    const std::string path = JoinPath(folder, name);
    // Only regular files: opening a FIFO or a device that happens to carry such a name could block
    // the scan or read a device.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const std::optional<int32_t> number =
        ArchiveFileNumber(name, static_cast<uint64_t>(st.st_size), minFileNumber);
    if (!number) continue;
    ArchiveFile file;
    if (!file.Open(path, ArchiveFile::Access::kReadOnly)) continue;
    if (file.Length() < kMinFileLength) continue;

    ArchiveFileInfo info;
    info.location = location;
    info.number = *number;
    info.length = file.Length();
    info.path = path;
    FileHeader header;
    if (!file.ReadHeader(&header)) {
      // Listed as an empty file: it takes part in rebuilds and in the ring, and the recorder resets
      // it before writing, but no time range comes from it.
      LogSystem("Read from  %s : %s", path, file.LastError());
    } else if (!header.IsEmpty() && header.lastTime < header.firstTime) {
      LogSystem("Read from  %s : %s", path, "file header times out of order");
    } else if (!header.IsEmpty()) {
      info.firstTime = header.firstTime;
      info.lastTime = header.lastTime;
      info.cameraMask = header.cameraMask & ((1u << kCameraSlots) - 1);
    }
    files->push_back(std::move(info));
  }
  ::closedir(dir);
}

ScanSummary ArchiveDatabase::ScanPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<ArchiveFileInfo> files;
  ScanFolder(-1, path, 0, &files);
  ScanSummary summary;
  for (const ArchiveFileInfo& f : files) {
    ++summary.fileCount;
    summary.largestFile = std::max(summary.largestFile, f.length);
    summary.totalSize += f.length;
    if (!f.IsEmpty() && (summary.earliest == 0 || f.firstTime < summary.earliest)) {
      summary.earliest = f.firstTime;
    }
    summary.latest = std::max(summary.latest, f.lastTime);
    summary.cameraMask |= f.cameraMask;
  }
  return summary;
}

// ---------------------------------------------------------------------------------------------
// Rebuilds

bool ArchiveDatabase::PlanLocation(int index, std::vector<ArchiveFileInfo>* deleteList,
                                   std::vector<ArchiveFileInfo>* createList) {
  std::lock_guard<std::mutex> guard(lock_);
  if (RefuseWhileOpen()) return false;
  if (index < 0 || static_cast<size_t>(index) >= locations_.size()) return false;
  const ArchiveLocation location = locations_[static_cast<size_t>(index)];

  std::vector<ArchiveFileInfo> files;
  ScanFolder(index, location.path, location.minFileNumber, &files);
  SortByTime(&files);
  // Names that the scan did not list (a file shorter than an archive file, a folder, ...) are
  // neither read nor deleted, and a new file must not take them over.
  std::set<int32_t> taken = ArchiveNamesIn(location.path);
  for (const ArchiveFileInfo& f : files) taken.erase(f.number);
  std::vector<ArchiveFileInfo> toDelete;
  std::vector<ArchiveFileInfo> toCreate;
  std::vector<ArchiveFileInfo> kept;
  uint64_t total = 0;
  for (ArchiveFileInfo& f : files) {
    if (f.length != location.maxFileSize) {
      toDelete.push_back(std::move(f));
    } else {
      total += f.length;
      kept.push_back(std::move(f));
    }
  }
  // Too much space in use: first the unused files at the end of the time order, then the oldest
  // recordings.
  while (total > location.space && !kept.empty() && kept.back().IsEmpty()) {
    total -= kept.back().length;
    toDelete.push_back(std::move(kept.back()));
    kept.pop_back();
  }
  size_t oldest = 0;
  while (total > location.space && oldest < kept.size()) {
    total -= kept[oldest].length;
    toDelete.push_back(std::move(kept[oldest]));
    ++oldest;
  }
  kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(oldest));

  if (total < location.space) {
    int64_t n = static_cast<int64_t>(location.minFileNumber) - 1;
    for (const ArchiveFileInfo& f : kept) n = std::max<int64_t>(n, f.number);
    n = std::max<int64_t>(n, 0);
    const uint64_t size = ArchiveLocation::ClampSize(location.maxFileSize);
    // Each round adds at least 1 MiB to total, so the loop ends; file numbers stop at the top of
    // their range instead of wrapping.
    while (total < location.space && n < std::numeric_limits<int32_t>::max()) {
      ++n;
      if (taken.count(static_cast<int32_t>(n)) != 0) continue;
      if (location.space - total >= size) {
        ArchiveFileInfo entry;
        entry.location = index;
        entry.number = static_cast<int32_t>(n);
        entry.length = size;
        entry.path = JoinPath(location.path, ArchiveFileName(entry.number));
        toCreate.push_back(std::move(entry));
      }
      total += size;
    }
  }
  *deleteList = std::move(toDelete);
  *createList = std::move(toCreate);
  return true;
}

std::string ArchiveDatabase::LossWarning(const std::vector<ArchiveFileInfo>& deleteList) {
  uint64_t earliest = 0;
  uint64_t latest = 0;
  for (const ArchiveFileInfo& f : deleteList) {
    if (f.IsEmpty()) continue;
    if (earliest == 0 || f.firstTime < earliest) earliest = f.firstTime;
    latest = std::max(latest, f.lastTime);
  }
  if (earliest == 0 && latest == 0) return std::string();
  return Format("You will loose recordings: \r\n\n     From: %s \r\n\n      To: %s \r\n",
                MessageTimeText(earliest), MessageTimeText(latest));
}

void ArchiveDatabase::SetRebuildTexts(RebuildTexts texts) {
  std::lock_guard<std::mutex> guard(lock_);
  rebuildTexts_ = std::move(texts);
}

bool ArchiveDatabase::ApplyLocation(int index, const std::vector<ArchiveFileInfo>& deleteList,
                                    const std::vector<ArchiveFileInfo>& createList,
                                    const StatusText& status,
                                    const ArchiveFile::ProgressText& progress,
                                    bool fastFormatting) {
  std::lock_guard<std::mutex> guard(lock_);
  if (RefuseWhileOpen()) return false;
  if (index < 0 || static_cast<size_t>(index) >= locations_.size()) return false;
  const ArchiveLocation location = locations_[static_cast<size_t>(index)];

  if (!createList.empty()) {
    struct stat st {};
    if (::stat(location.path.c_str(), &st) != 0 && ::mkdir(location.path.c_str(), 0700) != 0) {
      LogSystem("Creating %s : %s ", location.path, std::strerror(errno));
    }
  }
  for (const ArchiveFileInfo& f : deleteList) {
    const std::string name = ArchiveFileName(f.number);
    if (status) status(Format(rebuildTexts_.deleting.c_str(), location.path, name));
    // Only ever delete what a scan of this location would list: a stale or forged plan must not
    // remove anything else.
    if (f.path != JoinPath(location.path, name)) {
      LogSystem("Deleting %s : %s", f.path, "not an archive file of this location");
      continue;
    }
    if (::unlink(f.path.c_str()) != 0) LogSystem("Deleting %s : %s", f.path, std::strerror(errno));
  }
  const size_t n = createList.size();
  for (size_t k = 0; k < n; ++k) {
    const ArchiveFileInfo& f = createList[k];
    const std::string name = ArchiveFileName(f.number);
    const std::string path = JoinPath(location.path, name);
    if (status) {
      status(Format(rebuildTexts_.creating.c_str(), location.path, name, static_cast<int>(k * 100 / n)));
    }
    // Whatever took the name since the plan was made is not ours to overwrite.
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
      LogSystem("Creating %s : %s ", path, std::strerror(EEXIST));
      continue;
    }
    std::string error;
    if (!ArchiveFile::Create(path, f.length,
                             fastFormatting ? ArchiveFile::Formatting::kFast
                                            : ArchiveFile::Formatting::kNormal,
                             progress, &error)) {
      LogSystem("Creating %s : %s ", path, error);
    }
  }
  if (log_.Count() == 0 && location.IsMarkedDeleted()) {
    locations_.erase(locations_.begin() + index);
  }
  if (status) status(std::string());
  return true;
}

// ---------------------------------------------------------------------------------------------
// Open and close

bool ArchiveDatabase::Open(bool readOnly) {
  std::lock_guard<std::mutex> guard(lock_);
  if (open_) {
    log_.Add("Error opening - archive already open !", true);
    return false;
  }
  CloseLocked();
  std::vector<ArchiveFileInfo> files;
  for (size_t i = 0; i < locations_.size(); ++i) {
    ScanFolder(static_cast<int>(i), locations_[i].path, locations_[i].minFileNumber, &files);
  }
  if (files.empty()) {
    log_.Add("No archive recordings found. Recording/Playing will not be possible.", false);
    return false;
  }
  SortByTime(&files);
  files_ = std::move(files);
  ComputeSummaryLocked();
  bookmarks_.SetMinimumTime(static_cast<int64_t>(std::min<uint64_t>(
      earliest_, static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))));
  CheckOverlapsLocked();

  int index = 0;
  for (size_t i = files_.size(); i-- > 0;) {
    if (!files_[i].IsEmpty()) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (!readOnly) {
    auto file = std::make_shared<ArchiveFile>();
    const std::string& path = files_[static_cast<size_t>(index)].path;
    if (file->Open(path, ArchiveFile::Access::kReadWrite)) {
      recordFile_ = std::move(file);
      recordIndex_ = index;
    } else {
      LogSystem("Opening %s : %s", path, file->LastError());
    }
  }
  open_ = true;
  if (recorder_ != nullptr) recorder_->Start();
  return true;
}

void ArchiveDatabase::Close() {
  ReleaseReader();
  std::lock_guard<std::mutex> guard(lock_);
  CloseLocked();
}

void ArchiveDatabase::ReleaseReader() {
  std::lock_guard<std::mutex> guard(readerLock_);
  reader_.reset();
}

void ArchiveDatabase::Activity(uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins,
                               std::span<uint32_t> clearBins, std::span<uint32_t> setBins) {
  // Without lock_: the reader takes its own lock and then ours for every file it moves to, and a
  // recorder waiting for ours must not wait behind a whole activity scan.
  std::lock_guard<std::mutex> guard(readerLock_);
  if (!IsOpen()) {
    reader_.reset();
    std::fill(cameraBins.begin(), cameraBins.end(), 0u);
    std::fill(clearBins.begin(), clearBins.end(), 0u);
    std::fill(setBins.begin(), setBins.end(), 0u);
    return;
  }
  if (reader_ == nullptr) reader_ = std::make_unique<ArchiveReader>(this);
  // Closed since the check: the reader finds no file and clears the bins.
  reader_->Activity(t0, t1, cameraBins, clearBins, setBins);
}

void ArchiveDatabase::CloseLocked() {
  if (recorder_ != nullptr) recorder_->Stop();
  open_ = false;
  earliest_ = latest_ = totalSize_ = 0;
  cameraMask_ = 0;
  recordFile_.reset();
  recordIndex_ = -1;
  recordFreeBytes_ = 0;
  // A reader may be reading its file on another thread right now (it reads without our lock): it
  // holds its own reference for that operation, so the descriptor closes when the operation ends,
  // and the new generation makes its next operation seek again instead of reading on.
  for (ReaderSlot& slot : slots_) {
    slot.file.reset();
    slot.index = -1;
    ++slot.generation;
  }
  files_.clear();
}

bool ArchiveDatabase::IsOpen() {
  std::lock_guard<std::mutex> guard(lock_);
  return open_;
}

void ArchiveDatabase::ComputeSummaryLocked() {
  earliest_ = latest_ = totalSize_ = 0;
  cameraMask_ = 0;
  for (const ArchiveFileInfo& f : files_) {
    if (!f.IsEmpty() && (earliest_ == 0 || f.firstTime < earliest_)) earliest_ = f.firstTime;
    latest_ = std::max(latest_, f.lastTime);
    cameraMask_ |= f.cameraMask;
    totalSize_ += f.length;
  }
}

void ArchiveDatabase::CheckOverlapsLocked() {
  for (size_t i = 1; i < files_.size() && !files_[i].IsEmpty(); ++i) {
    const ArchiveFileInfo& previous = files_[i - 1];
    if (files_[i].firstTime > previous.lastTime) continue;
    for (size_t j = i; j < files_.size() && !files_[j].IsEmpty(); ++j) {
      if (files_[j].firstTime > previous.lastTime) continue;
      log_.Add(Format("Files %s and %s includes same recordings from ", previous.path,
                      files_[j].path) +
                   MessageTimeText(files_[j].firstTime) + " to " +
                   MessageTimeText(previous.lastTime) + ".\r\n",
               false);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Summary

uint64_t ArchiveDatabase::Earliest() {
  std::lock_guard<std::mutex> guard(lock_);
  return earliest_;
}

uint64_t ArchiveDatabase::Latest() {
  std::lock_guard<std::mutex> guard(lock_);
  return latest_;
}

uint32_t ArchiveDatabase::CameraMask() {
  std::lock_guard<std::mutex> guard(lock_);
  return cameraMask_;
}

uint64_t ArchiveDatabase::TotalSize() {
  std::lock_guard<std::mutex> guard(lock_);
  return totalSize_;
}

uint64_t ArchiveDatabase::UsedSize() {
  std::lock_guard<std::mutex> guard(lock_);
  return UsedSizeLocked();
}

bool ArchiveDatabase::TrySummary(Summary* out) {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  *out = Summary{earliest_, latest_, UsedSizeLocked(), totalSize_};
  return true;
}

uint64_t ArchiveDatabase::UsedSizeLocked() const {
  if (!open_ || !recordFile_) return 0;
  uint64_t used = totalSize_;
  size_t end = files_.size();
  while (end > 0 && files_[end - 1].IsEmpty()) used -= files_[--end].length;
  const bool anyRecorded = end > 0;
  if (anyRecorded && recorder_ != nullptr) used -= std::min(used, recordFreeBytes_);
  return used;
}

std::vector<ArchiveFileInfo> ArchiveDatabase::Files() {
  std::lock_guard<std::mutex> guard(lock_);
  return files_;
}

void ArchiveDatabase::SetActivityProbe(ActivityProbe probe) {
  std::lock_guard<std::mutex> guard(lock_);
  activityProbe_ = std::move(probe);
}

bool ArchiveDatabase::DayHasRecordings(uint64_t time) {
  // The operator's day: wall-clock midnight to midnight, 23 or 25 hours on the changes' days.
  const ArchiveDay day = ArchiveDayOf(time);
  const uint64_t from = day.first;
  const uint64_t to = day.last;
  ActivityProbe probe;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (earliest_ == 0 || to < earliest_ || from > latest_) return false;
    probe = activityProbe_;
  }
  // Both ask readers, which take their own lock and then ours: ours is released by now.
  if (probe) return probe(from, to);
  // A file's time range says nothing about the days between its first and last record, and a
  // summary block's slot (up to 7.6 hours at the coarsest level) may reach into the day from a
  // record outside it: the records themselves are asked.
  return RecordsIn(from, to);
}

bool ArchiveDatabase::RecordsIn(uint64_t from, uint64_t to) {
  std::lock_guard<std::mutex> guard(readerLock_);
  if (!IsOpen()) {
    reader_.reset();
    return false;
  }
  if (reader_ == nullptr) reader_ = std::make_unique<ArchiveReader>(this);
  return reader_->HasRecords(from, to);
}

// ---------------------------------------------------------------------------------------------
// Reader slots

int ArchiveDatabase::RegisterReader() {
  std::lock_guard<std::mutex> guard(lock_);
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (!slots_[i].used) {
      slots_[i].used = true;
      slots_[i].index = -1;
      return static_cast<int>(i);
    }
  }
  slots_.emplace_back();
  slots_.back().used = true;
  return static_cast<int>(slots_.size()) - 1;
}

void ArchiveDatabase::UnregisterReader(int slot) {
  std::lock_guard<std::mutex> guard(lock_);
  if (ReaderSlot* s = SlotAt(slot)) {
    s->used = false;
    s->file.reset();
    s->index = -1;
    ++s->generation;
  }
}

ArchiveDatabase::ReaderSlot* ArchiveDatabase::SlotAt(int slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= slots_.size()) return nullptr;
  ReaderSlot& s = slots_[static_cast<size_t>(slot)];
  return s.used ? &s : nullptr;
}

bool ArchiveDatabase::OpenForSlot(ReaderSlot* slot, int index) {
  const std::string& path = files_[static_cast<size_t>(index)].path;
  // A new object each time: the reader may still hold the previous one until its operation ends.
  auto file = std::make_shared<ArchiveFile>();
  const bool opened = file->Open(path, ArchiveFile::Access::kReadOnly);
  ++slot->generation;
  if (!opened) {
    LogSystem("Opening %s : %s", path, file->LastError());
    slot->file.reset();
    slot->index = -1;
    return false;
  }
  slot->file = std::move(file);
  slot->index = index;
  return true;
}

bool ArchiveDatabase::SeekReader(int slot, uint64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!open_) {
    log_.Add(kNotOpen, true);
    return false;
  }
  ReaderSlot* s = SlotAt(slot);
  if (s == nullptr || files_.empty() || files_.front().IsEmpty()) return false;
  int index = 0;
  for (size_t i = 0; i < files_.size() && !files_[i].IsEmpty(); ++i) {
    if (files_[i].firstTime <= time) index = static_cast<int>(i);
  }
  return OpenForSlot(s, index);
}

bool ArchiveDatabase::NextFileForReader(int slot) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!open_) {
    log_.Add(kNotOpen, true);
    return false;
  }
  ReaderSlot* s = SlotAt(slot);
  if (s == nullptr || s->index < 0) return false;
  const size_t next = static_cast<size_t>(s->index) + 1;
  if (next >= files_.size() || files_[next].IsEmpty()) return false;
  return OpenForSlot(s, static_cast<int>(next));
}

std::shared_ptr<ArchiveFile> ArchiveDatabase::ReaderFile(int slot, uint64_t* generation) {
  std::lock_guard<std::mutex> guard(lock_);
  ReaderSlot* s = SlotAt(slot);
  if (generation != nullptr) *generation = s != nullptr ? s->generation : 0;
  return s != nullptr ? s->file : nullptr;
}

int ArchiveDatabase::ReaderFileIndex(int slot) {
  std::lock_guard<std::mutex> guard(lock_);
  ReaderSlot* s = SlotAt(slot);
  return s != nullptr ? s->index : -1;
}

// ---------------------------------------------------------------------------------------------
// The recorder

void ArchiveDatabase::AttachRecorder(ArchiveRecorderLink* recorder) {
  std::lock_guard<std::mutex> guard(lock_);
  recorder_ = recorder;
}

void ArchiveDatabase::DetachRecorder() {
  std::lock_guard<std::mutex> guard(lock_);
  recorder_ = nullptr;
}

std::shared_ptr<ArchiveFile> ArchiveDatabase::CurrentRecordFile() {
  std::lock_guard<std::mutex> guard(lock_);
  return recordFile_;
}

int ArchiveDatabase::CurrentRecordIndex() {
  std::lock_guard<std::mutex> guard(lock_);
  return recordIndex_;
}

bool ArchiveDatabase::NextRecordFile() { return NextRecordFile(log_); }

bool ArchiveDatabase::NextRecordFile(ArchiveMessageLog& log, uint64_t payloadSize) {
  std::lock_guard<std::mutex> guard(lock_);
  // A read-only open has no record file and never moves the ring.
  if (!open_ || recordIndex_ < 0) {
    log.Add(kNotOpen, true);
    return false;
  }
  if (files_.size() < 2) {
    log.Add("Archive file already full !", true);
    return false;
  }
  const size_t count = files_.size();
  const size_t index = (static_cast<size_t>(recordIndex_) + 1) % count;
  ArchiveFileInfo& entry = files_[index];
  if (payloadSize > static_cast<uint64_t>(INT64_MAX) ||
      !HasRoomFor(static_cast<int64_t>(kDataStart), IndexPosition(entry.length, 0),
                  static_cast<int64_t>(payloadSize))) {
    log.Add(Format("Record to %s : %s", entry.path, "record larger than an empty archive file"), true);
    return false;
  }
  auto file = std::make_shared<ArchiveFile>();
  if (!file->Open(entry.path, ArchiveFile::Access::kReadWrite)) {
    log.Add(Format("Opening %s : %s", entry.path, file->LastError()), true);
    return false;
  }
  if (!file->Reset()) {
    log.Add(Format("Reseting %s : %s", entry.path, file->LastError()), true);
    return false;
  }
  entry.firstTime = 0;
  entry.lastTime = 0;
  entry.cameraMask = 0;
  recordFile_ = std::move(file);
  recordFreeBytes_ = 0;
  if (index != 0) {
    recordIndex_ = static_cast<int>(index);
    return true;
  }
  // The ring wrapped onto the oldest file: it becomes the newest, so the list stays in time order.
  std::rotate(files_.begin(), files_.begin() + 1, files_.end());
  recordIndex_ = static_cast<int>(count) - 1;
  for (ReaderSlot& slot : slots_) {
    if (!slot.used || slot.index < 0) continue;
    slot.index = slot.index == 0 ? static_cast<int>(count) - 1 : slot.index - 1;
  }
  return true;
}

void ArchiveDatabase::RecordWritten(uint64_t fileFirstTime, uint64_t recordTime,
                                    uint32_t fileCameraMask, uint64_t freeBytes) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!open_ || recordIndex_ < 0 || static_cast<size_t>(recordIndex_) >= files_.size()) return;
  ArchiveFileInfo& entry = files_[static_cast<size_t>(recordIndex_)];
  entry.firstTime = fileFirstTime;
  entry.lastTime = recordTime;
  entry.cameraMask |= fileCameraMask;
  recordFreeBytes_ = freeBytes;
  earliest_ = files_.front().firstTime;
  latest_ = recordTime;
  cameraMask_ |= fileCameraMask;
  bookmarks_.SetMinimumTime(static_cast<int64_t>(std::min<uint64_t>(
      earliest_, static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))));
}

}  // namespace strixc::archive
