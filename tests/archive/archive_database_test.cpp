#include "archive/archive_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_records.h"
#include "archive/archive_time.h"
#include "archive_test_writer.h"
#include "settings/settings_key.h"

namespace strixc::archive {
namespace {

constexpr uint64_t k100MiB = 100 * kMiB;
constexpr char kKey[] = "ArchDatabase";

uint64_t At(int day, int hour, int minute = 0) {
  return *TimeOfFields(TimeFields{2026, 12, day, hour, minute, 0, 0});
}

std::vector<int32_t> Numbers(const std::vector<ArchiveFileInfo>& files) {
  std::vector<int32_t> out;
  for (const ArchiveFileInfo& f : files) out.push_back(f.number);
  return out;
}

// A scratch data folder per test; archive files are made sparse with a real header, so that a
// test of many files stays fast.
class ArchiveDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "archive_db_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    data_ = pattern;
    folder_ = data_ + "/loc";
    ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
  }
  void TearDown() override { std::filesystem::remove_all(data_); }

  std::string PathOf(int32_t number, const std::string& folder = "") const {
    return (folder.empty() ? folder_ : folder) + "/" + ArchiveFileName(number);
  }

  // An archive file of `length` bytes whose header holds the given times (0: empty).
  void WriteFile(const std::string& path, uint64_t length, uint64_t first = 0, uint64_t last = 0,
                 uint32_t mask = 0) {
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(length)), 0);
    FileHeader header{first, last, first != 0 ? 1u : 0u, mask};
    uint8_t bytes[kHeaderSize];
    header.Encode(bytes);
    if (length >= kHeaderSize) {
      ASSERT_EQ(::pwrite(fd, bytes, sizeof bytes, 0), 24);
    }
    ::close(fd);
  }
  void WriteArchive(int32_t number, uint64_t first = 0, uint64_t last = 0, uint32_t mask = 1) {
    WriteFile(PathOf(number), kMiB, first, last, first != 0 ? mask : 0);
  }
  void CorruptBytes(const std::string& path, uint64_t offset, size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), n, static_cast<off_t>(offset)), static_cast<ssize_t>(n));
    ::close(fd);
  }
  FileHeader ReadHeaderOf(const std::string& path) {
    ArchiveFile file;
    FileHeader header{1, 1, 1, 1};
    EXPECT_TRUE(file.Open(path, ArchiveFile::Access::kReadOnly));
    EXPECT_TRUE(file.ReadHeader(&header));
    return header;
  }

  // A database whose only location is folder_ with 1 MiB files.
  void UseFolder(uint64_t space = 16 * kMiB, uint64_t maxFileSize = kMiB, int64_t minNumber = 0) {
    db_.MarkLocationDeleted(0);
    ASSERT_TRUE(db_.ApplyLocation(0, {}, {}, {}, {}, true));
    ASSERT_EQ(db_.LocationCount(), 0);
    ASSERT_EQ(db_.AddLocation(folder_, space, maxFileSize, minNumber), 0);
  }
  void Plan(int index = 0) { ASSERT_TRUE(db_.PlanLocation(index, &deleteList_, &createList_)); }

  std::string data_;
  std::string folder_;
  ArchiveDatabase db_{data_};
  std::vector<ArchiveFileInfo> deleteList_;
  std::vector<ArchiveFileInfo> createList_;
};

// ---- Locations and their settings

TEST_F(ArchiveDatabaseTest, StartsWithTheDefaultLocation) {
  ArchiveDatabase db("/data");
  ArchiveLocation location;
  ASSERT_TRUE(db.GetLocation(0, &location));
  EXPECT_EQ(location.path, "/data/FilesStrixS");
  EXPECT_EQ(location.space, 2516582400u);
  EXPECT_EQ(location.maxFileSize, 629145600u);
  EXPECT_EQ(location.minFileNumber, 0u);
  EXPECT_FALSE(db.GetLocation(1, &location));
  EXPECT_FALSE(db.GetLocation(-1, &location));
}

TEST_F(ArchiveDatabaseTest, AddAndUpdateClampSizesAndNumbers) {
  const int i = db_.AddLocation("/x", 5, kMiB + 1, -3);
  ASSERT_EQ(i, 1);
  ArchiveLocation location;
  ASSERT_TRUE(db_.GetLocation(i, &location));
  EXPECT_EQ(location.space, kMiB);
  EXPECT_EQ(location.maxFileSize, kMiB + 1);
  EXPECT_EQ(location.minFileNumber, 0u);

  ASSERT_TRUE(db_.UpdateLocation(i, 0, kMiB, int64_t{1} << 40));
  ASSERT_TRUE(db_.GetLocation(i, &location));
  EXPECT_EQ(location.space, kMiB);
  EXPECT_EQ(location.maxFileSize, kMiB);
  EXPECT_EQ(location.minFileNumber, 0x7FFFFFFFu);
  EXPECT_EQ(location.path, "/x");

  EXPECT_EQ(db_.AddLocation("/x", 10 * kMiB, 10 * kMiB, 0), -1);
  EXPECT_EQ(db_.LocationCount(), 2);
  EXPECT_EQ(db_.FindLocation("/x"), 1);
  EXPECT_EQ(db_.FindLocation("/X"), -1);
}

TEST_F(ArchiveDatabaseTest, LocationsSurviveSaveAndLoad) {
  settings::SettingsDatabase settings;
  settings.OpenInMemory();
  db_.AddLocation("/a", 3 * kMiB + 7, (uint64_t{5} << 32) + 1, 12);
  ASSERT_TRUE(db_.SaveSettings(settings, kKey));

  uint32_t count = 0;
  ASSERT_TRUE(settings::SettingsKey(settings, "ArchDatabase\\Locations").ReadDword("LocationCount", &count));
  EXPECT_EQ(count, 2u);
  uint8_t bytes[8];
  ASSERT_TRUE(settings::SettingsKey(settings, "ArchDatabase\\Locations\\Location001")
                  .ReadBinary("MaxFileSize", bytes, 8));
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[4], 5);

  ArchiveDatabase loaded("/elsewhere");
  loaded.LoadSettings(settings, kKey);
  ASSERT_EQ(loaded.LocationCount(), 2);
  ArchiveLocation a, b;
  ASSERT_TRUE(db_.GetLocation(1, &a));
  ASSERT_TRUE(loaded.GetLocation(1, &b));
  EXPECT_EQ(b.path, "/a");
  EXPECT_EQ(b.space, a.space);
  EXPECT_EQ(b.maxFileSize, a.maxFileSize);
  EXPECT_EQ(b.minFileNumber, 12u);
  EXPECT_EQ(loaded.LocationPath(0), db_.LocationPath(0));

  // Saving fewer locations leaves no stale location keys behind.
  loaded.MarkLocationDeleted(1);
  ASSERT_TRUE(loaded.ApplyLocation(1, {}, {}, {}, {}, true));
  ASSERT_TRUE(loaded.SaveSettings(settings, kKey));
  std::string path = "<none>";
  settings::SettingsKey(settings, "ArchDatabase\\Locations\\Location001").ReadString("Path", &path);
  EXPECT_EQ(path, "<none>");
}

// Ends the process with a message when `done` is not set within a generous bound, so that a
// deadlock fails the test run instead of hanging it.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds bound)
      : thread_([this, bound] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_changed_.wait_for(lock, bound, [this] { return done_; })) {
            std::fprintf(stderr, "Watchdog: threads still waiting for each other after %lld s\n",
                         static_cast<long long>(bound.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  std::thread thread_;
};

// The playback thread adds, removes and reads bookmarks while the window saves the settings: each
// takes the bookmark store's lock and the settings lock, and all of them in the same order.
TEST_F(ArchiveDatabaseTest, BookmarkChangesWhileTheSettingsAreSavedNeitherWaitForTheOther) {
  settings::SettingsDatabase settings;
  settings.OpenInMemory();
  db_.LoadSettings(settings, kKey);
  db_.AddLocation("/a", 3 * kMiB, kMiB, 0);
  constexpr int kRounds = 600;
  int wrongTitles = 0;
  {
    const Watchdog watchdog(std::chrono::seconds(120));
    std::thread bookmarks([this, &wrongTitles] {
      BookmarkStore& store = db_.Bookmarks();
      for (int i = 1; i <= kRounds; ++i) {
        store.Add(i, "Gate " + std::to_string(i));
        if (store.GetTitle(i) != "Gate " + std::to_string(i)) ++wrongTitles;
        // Every third one goes again, so that removals meet the saves too.
        if (i % 3 == 0 && !store.Remove(i)) ++wrongTitles;
      }
    });
    for (int i = 0; i < kRounds; ++i) ASSERT_TRUE(db_.SaveSettings(settings, kKey));
    bookmarks.join();
  }
  EXPECT_EQ(wrongTitles, 0);

  ArchiveDatabase loaded("/elsewhere");
  loaded.LoadSettings(settings, kKey);
  EXPECT_EQ(loaded.Bookmarks().Count(), size_t{kRounds - kRounds / 3});
  EXPECT_EQ(loaded.Bookmarks().GetTitle(kRounds - 1), "Gate " + std::to_string(kRounds - 1));
  EXPECT_EQ(loaded.Bookmarks().GetTitle(kRounds), "");
  ASSERT_EQ(loaded.LocationCount(), 1);  // no location was listed in the fresh settings before
  EXPECT_EQ(loaded.LocationPath(0), "/a");
}

TEST_F(ArchiveDatabaseTest, AbsentLocationCountLeavesNoLocationsAndOpenWarns) {
  settings::SettingsDatabase settings;
  settings.OpenInMemory();
  db_.LoadSettings(settings, kKey);
  EXPECT_EQ(db_.LocationCount(), 0);
  EXPECT_FALSE(db_.Open(false));
  EXPECT_FALSE(db_.IsOpen());
  EXPECT_EQ(db_.MessageLog().Warnings(), 1);
  EXPECT_NE(db_.MessageLog().Summary().find("No archive recordings found."), std::string::npos);
}

TEST_F(ArchiveDatabaseTest, EditsAreRefusedWhileOpen) {
  UseFolder();
  WriteArchive(1);
  ASSERT_TRUE(db_.Open(true));
  EXPECT_EQ(db_.AddLocation("/y", kMiB, kMiB, 0), -1);
  EXPECT_FALSE(db_.UpdateLocation(0, 2 * kMiB, kMiB, 0));
  EXPECT_FALSE(db_.MarkLocationDeleted(0));
  EXPECT_FALSE(db_.PlanLocation(0, &deleteList_, &createList_));
  EXPECT_FALSE(db_.Open(true));
  EXPECT_EQ(db_.MessageLog().Errors(), 5);
  EXPECT_NE(db_.MessageLog().Summary().find("Not permited database modification !"), std::string::npos);
  EXPECT_EQ(db_.LocationCount(), 1);
}

// ---- Scans

TEST_F(ArchiveDatabaseTest, ScanKeepsOnlyArchiveFilesOfTheLocation) {
  WriteArchive(5, At(1, 10), At(1, 11), 0x3);
  WriteArchive(9);
  WriteFile(folder_ + "/12.vsd", kMiB);
  WriteFile(folder_ + "/00000000000000000013.VSD", kMiB);
  WriteFile(PathOf(14), kMiB - 1);
  WriteFile(PathOf(15), 2 * kMiB, At(1, 12), At(1, 13), 0x10);
  ASSERT_EQ(::mkdir(PathOf(16).c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(PathOf(17).c_str(), 0600), 0);  // must neither block nor count

  const ScanSummary s = db_.ScanPath(folder_);
  EXPECT_EQ(s.fileCount, 3);
  EXPECT_EQ(s.largestFile, 2 * kMiB);
  EXPECT_EQ(s.totalSize, 4 * kMiB);
  EXPECT_EQ(s.earliest, At(1, 10));
  EXPECT_EQ(s.latest, At(1, 13));
  EXPECT_EQ(s.cameraMask, 0x13u);

  UseFolder(16 * kMiB, kMiB, 9);
  ASSERT_TRUE(db_.Open(true));
  EXPECT_EQ(Numbers(db_.Files()), (std::vector<int32_t>{15, 9}));
  EXPECT_EQ(db_.Files()[0].location, 0);
}

TEST_F(ArchiveDatabaseTest, OpenSortsByTimeWithEmptyFilesLast) {
  UseFolder();
  WriteArchive(1);
  WriteArchive(2, At(3, 10), At(3, 11), 0x4);
  WriteArchive(3, At(1, 10), At(1, 11), 0x1);
  WriteArchive(4);
  WriteArchive(5, At(2, 10), At(2, 11), 0x2);
  ASSERT_TRUE(db_.Open(false));
  const std::vector<ArchiveFileInfo> files = db_.Files();
  // Empty files keep the folder listing's order, which the file system chooses.
  std::vector<int32_t> numbers = Numbers(files);
  ASSERT_EQ(numbers.size(), 5u);
  std::sort(numbers.begin() + 3, numbers.end());
  EXPECT_EQ(numbers, (std::vector<int32_t>{3, 5, 2, 1, 4}));
  EXPECT_EQ(db_.Earliest(), At(1, 10));
  EXPECT_EQ(db_.Latest(), At(3, 11));
  EXPECT_EQ(db_.CameraMask(), 0x7u);
  EXPECT_EQ(db_.TotalSize(), 5 * kMiB);
  EXPECT_EQ(db_.CurrentRecordIndex(), 2);  // the newest recorded file
  ASSERT_NE(db_.CurrentRecordFile(), nullptr);
  EXPECT_EQ(db_.CurrentRecordFile()->Path(), PathOf(2));
  EXPECT_EQ(db_.MessageLog().Count(), 0);

  db_.Close();
  EXPECT_FALSE(db_.IsOpen());
  EXPECT_TRUE(db_.Files().empty());
  EXPECT_EQ(db_.Earliest(), 0u);
  EXPECT_EQ(db_.CurrentRecordFile(), nullptr);
}

TEST_F(ArchiveDatabaseTest, AllEmptyFilesRecordIntoTheFirst) {
  UseFolder();
  // Written out of order: the folder lists them in no particular order either.
  for (int number : {3, 1, 4, 2}) WriteArchive(number);
  ASSERT_TRUE(db_.Open(false));
  EXPECT_EQ(db_.CurrentRecordIndex(), 0);
  EXPECT_EQ(db_.Earliest(), 0u);
  std::vector<int64_t> numbers;
  for (const ArchiveFileInfo& file : db_.Files()) numbers.push_back(file.number);
  EXPECT_EQ(numbers, (std::vector<int64_t>{1, 2, 3, 4})) << "a new archive fills its files in number order";
}

TEST_F(ArchiveDatabaseTest, ReadOnlyOpenHasNoRecordFile) {
  UseFolder();
  WriteArchive(1, At(1, 1), At(1, 2));
  WriteArchive(2);
  ASSERT_TRUE(db_.Open(true));
  EXPECT_EQ(db_.CurrentRecordFile(), nullptr);
  EXPECT_FALSE(db_.NextRecordFile());
  EXPECT_EQ(db_.UsedSize(), 0u);
}

// ---- Damaged and odd files

TEST_F(ArchiveDatabaseTest, DamagedFilesNeverBreakTheScan) {
  UseFolder();
  WriteArchive(1, At(1, 10), At(1, 11));
  WriteArchive(2, At(2, 10), At(2, 11));
  WriteArchive(3, At(3, 10), At(3, 11));
  WriteArchive(4, At(4, 10), At(4, 11));
  WriteArchive(5, At(5, 10), At(5, 11));
  CorruptBytes(PathOf(2), 0, kDataStart, 1);  // header and tables
  WriteFile(PathOf(3), kMiB, At(3, 11), At(3, 10));  // times out of order
  ASSERT_EQ(::truncate(PathOf(4).c_str(), 1000), 0);
  ASSERT_EQ(::truncate(PathOf(5).c_str(), 0), 0);

  ASSERT_TRUE(db_.Open(false));
  const std::vector<ArchiveFileInfo> files = db_.Files();
  ASSERT_EQ(files.size(), 3u);
  for (const ArchiveFileInfo& f : files) EXPECT_EQ(f.cameraMask & ~0x3FFFFu, 0u);
  EXPECT_EQ(db_.MessageLog().Errors(), 1);  // file 3's times
  const int slot = db_.RegisterReader();
  EXPECT_TRUE(db_.SeekReader(slot, At(9, 0)));
  EXPECT_NE(db_.ReaderFile(slot), nullptr);
  while (db_.NextFileForReader(slot)) {
  }
}

// ---- Rebuild plans

TEST_F(ArchiveDatabaseTest, EmptyFolderPlansFilesFromTheLowestNumber) {
  UseFolder(600 * kMiB, k100MiB, 0);
  Plan();
  EXPECT_TRUE(deleteList_.empty());
  EXPECT_EQ(Numbers(createList_), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(createList_[0].length, k100MiB);
  EXPECT_EQ(createList_[0].path, PathOf(1));

  ASSERT_TRUE(db_.UpdateLocation(0, 600 * kMiB, k100MiB, 10));
  Plan();
  EXPECT_EQ(Numbers(createList_), (std::vector<int32_t>{10, 11, 12, 13, 14, 15}));
}

TEST_F(ArchiveDatabaseTest, PlanStopsWhenTheNextFileWouldNotFit) {
  UseFolder(250 * kMiB, k100MiB, 0);
  Plan();
  EXPECT_EQ(Numbers(createList_), (std::vector<int32_t>{1, 2}));
}

TEST_F(ArchiveDatabaseTest, PlanContinuesAfterTheHighestNumber) {
  UseFolder(4 * kMiB);
  WriteArchive(7, At(1, 1), At(1, 2));
  WriteArchive(3);
  Plan();
  EXPECT_TRUE(deleteList_.empty());
  EXPECT_EQ(Numbers(createList_), (std::vector<int32_t>{8, 9}));
  EXPECT_EQ(ArchiveDatabase::LossWarning(deleteList_), "");
}

TEST_F(ArchiveDatabaseTest, ShrinkingDropsEmptyFilesFirstThenTheOldest) {
  UseFolder(6 * kMiB);
  WriteArchive(1, At(2, 10), At(2, 11));
  WriteArchive(2, At(1, 10), At(1, 11));  // the oldest recordings
  WriteArchive(3, At(3, 10), At(3, 11));
  WriteArchive(4, At(4, 10), At(4, 11));
  WriteArchive(5);
  WriteArchive(6);

  ASSERT_TRUE(db_.UpdateLocation(0, 5 * kMiB, kMiB, 0));
  Plan();
  ASSERT_EQ(deleteList_.size(), 1u);
  EXPECT_TRUE(deleteList_[0].IsEmpty());
  EXPECT_EQ(ArchiveDatabase::LossWarning(deleteList_), "");

  ASSERT_TRUE(db_.UpdateLocation(0, 2 * kMiB, kMiB, 0));
  Plan();
  ASSERT_EQ(deleteList_.size(), 4u);
  EXPECT_TRUE(deleteList_[0].IsEmpty());
  EXPECT_TRUE(deleteList_[1].IsEmpty());
  EXPECT_EQ(deleteList_[2].number, 2);
  EXPECT_EQ(deleteList_[3].number, 1);
  EXPECT_TRUE(createList_.empty());
  EXPECT_EQ(ArchiveDatabase::LossWarning(deleteList_),
            "You will loose recordings: \r\n\n     From: " + MessageTimeText(At(1, 10)) +
                " \r\n\n      To: " + MessageTimeText(At(2, 11)) + " \r\n");
}

TEST_F(ArchiveDatabaseTest, ChangingTheFileSizeRecreatesEveryFile) {
  UseFolder(4 * kMiB);
  WriteArchive(1, At(1, 10), At(1, 11));
  WriteArchive(2);
  ASSERT_TRUE(db_.UpdateLocation(0, 4 * kMiB, 2 * kMiB, 0));
  Plan();
  EXPECT_EQ(deleteList_.size(), 2u);
  EXPECT_EQ(Numbers(createList_), (std::vector<int32_t>{1, 2}));
  EXPECT_NE(ArchiveDatabase::LossWarning(deleteList_), "");
}

TEST_F(ArchiveDatabaseTest, ApplyCarriesOutThePlan) {
  UseFolder(3 * kMiB);
  std::filesystem::remove_all(folder_);  // created by the rebuild
  Plan();
  std::vector<std::string> status;
  ASSERT_TRUE(db_.ApplyLocation(0, deleteList_, createList_,
                                [&](const std::string& text) { status.push_back(text); }, {}, true));
  EXPECT_EQ(db_.MessageLog().Count(), 0) << db_.MessageLog().Summary();
  ASSERT_EQ(status.size(), 4u);
  EXPECT_EQ(status[1], "Rebuilding location:\r\n" + folder_ + "\r\n\r\nCreating file:\r\n" +
                           ArchiveFileName(2) + "\r\n\r\n33 %\r\n");
  EXPECT_EQ(status.back(), "");
  EXPECT_EQ(ReadHeaderOf(PathOf(3)).firstTime, 0u);

  ASSERT_TRUE(db_.Open(false));
  EXPECT_EQ(db_.Files().size(), 3u);
  db_.Close();

  // Marked deleted: every file goes, nothing is created, then the location itself.
  ASSERT_TRUE(db_.MarkLocationDeleted(0));
  Plan();
  EXPECT_EQ(deleteList_.size(), 3u);
  EXPECT_TRUE(createList_.empty());
  ASSERT_TRUE(db_.ApplyLocation(0, deleteList_, createList_, {}, {}, true));
  EXPECT_EQ(db_.LocationCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(PathOf(1)));
}

TEST_F(ArchiveDatabaseTest, RebuildLeavesFilesTooShortForAnArchiveAlone) {
  UseFolder(3 * kMiB);
  // Named like archive files but not archive files: never read, never deleted, never overwritten.
  WriteFile(PathOf(2), 1000);
  ASSERT_EQ(::mkdir(PathOf(4).c_str(), 0700), 0);
  Plan();
  EXPECT_TRUE(deleteList_.empty());
  EXPECT_EQ(Numbers(createList_), (std::vector<int32_t>{1, 3, 5}));
  ASSERT_TRUE(db_.ApplyLocation(0, deleteList_, createList_, {}, {}, true));
  EXPECT_EQ(db_.MessageLog().Count(), 0) << db_.MessageLog().Summary();
  EXPECT_EQ(std::filesystem::file_size(PathOf(2)), 1000u);
  EXPECT_TRUE(std::filesystem::is_directory(PathOf(4)));

  // A plan made before such a file appeared does not create over it either.
  db_.MessageLog().Reset();
  std::filesystem::remove(PathOf(5));
  Plan();
  ASSERT_EQ(Numbers(createList_), (std::vector<int32_t>{5}));
  WriteFile(PathOf(5), 1000);
  ASSERT_TRUE(db_.ApplyLocation(0, deleteList_, createList_, {}, {}, true));
  EXPECT_EQ(db_.MessageLog().Errors(), 1);
  EXPECT_EQ(std::filesystem::file_size(PathOf(5)), 1000u);
}

TEST_F(ArchiveDatabaseTest, ApplyRefusesToDeleteOutsideTheLocation) {
  UseFolder();
  const std::string other = data_ + "/precious.txt";
  WriteFile(other, 10);
  ArchiveFileInfo forged;
  forged.number = 1;
  forged.path = other;
  ASSERT_TRUE(db_.ApplyLocation(0, {forged}, {}, {}, {}, true));
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(db_.MessageLog().Errors(), 1);
}

// ---- Overlaps

TEST_F(ArchiveDatabaseTest, OverlapsWarnOncePerOverlappingLaterFile) {
  UseFolder();
  WriteArchive(1, At(1, 10), At(1, 12));
  WriteArchive(2, At(1, 11), At(1, 13));
  WriteArchive(3, At(1, 14), At(1, 15));
  WriteArchive(4);
  ASSERT_TRUE(db_.Open(true));
  EXPECT_EQ(db_.MessageLog().Warnings(), 1);
  EXPECT_EQ(db_.MessageLog().Summary(),
            "Warning: Files " + PathOf(1) + " and " + PathOf(2) + " includes same recordings from " +
                MessageTimeText(At(1, 11)) + " to " + MessageTimeText(At(1, 12)) + ".\r\n \r\n");
}

TEST_F(ArchiveDatabaseTest, OverlapWarnsForEveryLaterFileInsideTheRange) {
  UseFolder();
  WriteArchive(1, At(1, 10), At(1, 20));
  WriteArchive(2, At(1, 11), At(1, 12));
  WriteArchive(3, At(1, 13), At(1, 14));
  ASSERT_TRUE(db_.Open(true));
  // 1 against 2 and 3, then 2 against 3 (13:00 is not after 2's end? it is: no warning).
  EXPECT_EQ(db_.MessageLog().Warnings(), 2);
}

// ---- The record-file ring and reader slots

TEST_F(ArchiveDatabaseTest, RecordRingMovesOnAndWrapsOntoTheOldest) {
  UseFolder();
  WriteArchive(1, At(1, 10), At(1, 11));
  WriteArchive(2, At(2, 10), At(2, 11));
  WriteArchive(3);
  ASSERT_TRUE(db_.Open(false));
  ASSERT_EQ(db_.CurrentRecordIndex(), 1);
  const int inOldest = db_.RegisterReader();
  const int inSecond = db_.RegisterReader();
  ASSERT_TRUE(db_.SeekReader(inOldest, At(1, 10, 30)));
  ASSERT_TRUE(db_.SeekReader(inSecond, At(2, 12)));
  EXPECT_EQ(db_.ReaderFileIndex(inOldest), 0);
  EXPECT_EQ(db_.ReaderFileIndex(inSecond), 1);

  ASSERT_TRUE(db_.NextRecordFile());
  EXPECT_EQ(db_.CurrentRecordIndex(), 2);
  EXPECT_EQ(db_.CurrentRecordFile()->Path(), PathOf(3));
  db_.RecordWritten(At(3, 10), At(3, 11), 0x8, 1000);
  EXPECT_EQ(db_.Latest(), At(3, 11));

  const std::shared_ptr<ArchiveFile> heldByReader = db_.ReaderFile(inOldest);
  ASSERT_TRUE(db_.NextRecordFile());  // wraps onto file 1
  EXPECT_EQ(Numbers(db_.Files()), (std::vector<int32_t>{2, 3, 1}));
  EXPECT_EQ(db_.CurrentRecordIndex(), 2);
  EXPECT_EQ(db_.CurrentRecordFile()->Path(), PathOf(1));
  EXPECT_EQ(ReadHeaderOf(PathOf(1)).firstTime, 0u);
  EXPECT_EQ(db_.ReaderFileIndex(inOldest), 2);
  EXPECT_EQ(db_.ReaderFileIndex(inSecond), 0);
  EXPECT_EQ(db_.ReaderFile(inOldest), heldByReader);
  EXPECT_TRUE(heldByReader->IsOpen());

  db_.RecordWritten(At(4, 10), At(4, 10), 0x1, 5000);
  EXPECT_EQ(db_.Earliest(), At(2, 10));
  EXPECT_TRUE(db_.NextRecordFile());
  EXPECT_EQ(db_.CurrentRecordFile()->Path(), PathOf(2));
  EXPECT_EQ(Numbers(db_.Files()), (std::vector<int32_t>{3, 1, 2}));
}

TEST_F(ArchiveDatabaseTest, OneFileCannotMoveOn) {
  UseFolder();
  WriteArchive(1, At(1, 10), At(1, 11));
  ASSERT_TRUE(db_.Open(false));
  EXPECT_FALSE(db_.NextRecordFile());
  EXPECT_NE(db_.MessageLog().Summary().find("Archive file already full !"), std::string::npos);
  db_.Close();
  db_.MessageLog().Reset();
  EXPECT_FALSE(db_.NextRecordFile());
  EXPECT_EQ(db_.MessageLog().Summary(), "There were 1 errors and 0 warnings during processing "
                                        "archives \r\nError: Database not open ! \r\n");
}

TEST_F(ArchiveDatabaseTest, ReadersWalkNonEmptyFilesInTimeOrder) {
  UseFolder();
  WriteArchive(1, At(2, 10), At(2, 11));
  WriteArchive(2, At(1, 10), At(1, 11));
  WriteArchive(3);
  ASSERT_TRUE(db_.Open(true));
  const int slot = db_.RegisterReader();
  EXPECT_FALSE(db_.NextFileForReader(slot));  // not positioned yet
  ASSERT_TRUE(db_.SeekReader(slot, 1));       // before everything: the first file
  EXPECT_EQ(db_.ReaderFile(slot)->Path(), PathOf(2));
  ASSERT_TRUE(db_.NextFileForReader(slot));
  EXPECT_EQ(db_.ReaderFile(slot)->Path(), PathOf(1));
  EXPECT_FALSE(db_.NextFileForReader(slot));  // the empty file is not read

  db_.UnregisterReader(slot);
  EXPECT_EQ(db_.ReaderFile(slot), nullptr);
  EXPECT_EQ(db_.RegisterReader(), slot);  // reused
}

// ---- Summary values

TEST_F(ArchiveDatabaseTest, UsedSizeLeavesOutTrailingEmptyFilesAndFreeBytes) {
  struct Recorder : ArchiveRecorderLink {
    void Start() override { ++starts; }
    void Stop() override { ++stops; }
    int starts = 0;
    int stops = 0;
  } recorder;
  UseFolder();
  WriteArchive(1, At(1, 10), At(1, 11));
  WriteArchive(2);
  WriteArchive(3);
  db_.AttachRecorder(&recorder);
  ASSERT_TRUE(db_.Open(false));
  EXPECT_EQ(recorder.starts, 1);
  EXPECT_EQ(db_.UsedSize(), kMiB);
  db_.RecordWritten(At(1, 10), At(1, 12), 0x1, 1000);
  EXPECT_EQ(db_.UsedSize(), kMiB - 1000);
  db_.Close();
  EXPECT_GE(recorder.stops, 2);
  db_.DetachRecorder();
}

// A day is marked by its own records only: not by a file's range around it, not by a summary
// slot that ended before it began or reaches into it from the day before.
TEST_F(ArchiveDatabaseTest, DayHasRecordingsOnlyOnTheDaysWithRecords) {
  UseFolder();
  {
    testing::TestArchiveWriter file(PathOf(1), kMiB);
    file.Append(RecordType::kKeyFrame, 0, At(1, 12));
    // Its level-15 slot runs from 14:59 to 22:37, before the 5th begins.
    file.Append(RecordType::kKeyFrame, 3, At(4, 21));
  }
  {
    testing::TestArchiveWriter file(PathOf(2), kMiB);
    file.Append(RecordType::kKeyFrame, 1, At(7, 23, 59));  // its slot reaches 02:58 on the 8th
  }
  ASSERT_TRUE(db_.Open(true));
  for (int day = 1; day <= 8; ++day) {
    const bool recorded = day == 1 || day == 4 || day == 7;
    EXPECT_EQ(db_.DayHasRecordings(At(day, 0)), recorded) << day;
    EXPECT_EQ(db_.DayHasRecordings(At(day, 23, 59) + 599999999), recorded) << day;  // the day's last unit
  }

  std::vector<uint64_t> asked;
  db_.SetActivityProbe([&](uint64_t from, uint64_t to) {
    asked = {from, to};
    return true;
  });
  EXPECT_TRUE(db_.DayHasRecordings(At(2, 12)));
  EXPECT_EQ(asked, (std::vector<uint64_t>{At(2, 0), At(2, 0) + 863999999999}));
  EXPECT_FALSE(db_.DayHasRecordings(At(9, 0)));  // outside the archive: not asked
}

TEST_F(ArchiveDatabaseTest, ForFolderOpensAnyFolderReadOnly) {
  WriteArchive(3, At(1, 10), At(1, 11));
  const std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::ForFolder(folder_, data_);
  ASSERT_TRUE(db->IsOpen());
  EXPECT_EQ(db->LocationCount(), 1);
  EXPECT_EQ(db->LocationPath(0), folder_);
  EXPECT_EQ(db->CurrentRecordFile(), nullptr);
  EXPECT_EQ(db->Earliest(), At(1, 10));
}

// ---- Message log and helpers

TEST(ArchiveMessageLogTest, SummaryShowsTenMessagesAndCountsTheRest) {
  ArchiveMessageLog log;
  for (int i = 0; i < 12; ++i) log.Add("m" + std::to_string(i), i % 3 == 0);
  EXPECT_EQ(log.Count(), 12);
  const std::string summary = log.Summary();
  EXPECT_EQ(summary.rfind("There were 4 errors and 8 warnings during processing archives \r\n"
                          "Error: m0 \r\nWarning: m1 \r\n", 0), 0u);
  EXPECT_EQ(summary.find("m10"), std::string::npos);
  EXPECT_NE(summary.find("Error: m9 \r\nand 2 more messages not displayed\r\n"), std::string::npos);
  log.Reset();
  EXPECT_EQ(log.Count(), 0);
  EXPECT_EQ(log.Summary(), "");
  log.Add("w", false);
  EXPECT_EQ(log.Summary(), "Warning: w \r\n");
}

TEST(ArchiveMessageLogTest, TimeTextIsClockThenDate) {
  EXPECT_EQ(MessageTimeText(*TimeOfFields(TimeFields{2026, 12, 24, 13, 2, 3, 0})),
            "01:02:03 PM / 24.12.2026");
}

TEST(ArchiveLocationTest, FileSystemOfAMissingFolderIsItsParents) {
  const auto root = FileSystemOfPath("/");
  ASSERT_TRUE(root.has_value());
  const auto missing = FileSystemOfPath("/definitely/not/here/FilesStrixS");
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->folder, "/");
  EXPECT_EQ(missing->device, root->device);
  EXPECT_TRUE(IsOnSystemFileSystem("/no/such/folder"));
  EXPECT_FALSE(FileSystemOfPath("").has_value());
}

}  // namespace
}  // namespace strixc::archive
