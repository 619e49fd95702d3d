// Reading the archive: seeks to random times in a 600 MiB file of about 20000 records (time per
// seek and pread calls per seek, index cache warm), and the activity of one day in 1000 bins on an
// archive that covers the day (16 cameras, one small frame per camera every 5 s).

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_file.h"
#include "archive/archive_reader.h"
#include "archive/archive_recorder.h"
#include "archive/archive_time.h"

using namespace strixc::archive;

namespace {

constexpr uint64_t kSecond = kUnitsPerSecond;
// The start of a fixed day (local time); any day will do.
constexpr uint64_t kDayStart = 13'411'132'800ull * kSecond - 13'411'132'800ull * kSecond % kUnitsPerDay;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Since(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// A database whose only location is `folder`, holding one file of `size` bytes, open for writing.
bool MakeArchive(ArchiveDatabase& db, const std::string& folder, uint64_t size) {
  ::mkdir(folder.c_str(), 0700);
  db.MarkLocationDeleted(0);
  db.ApplyLocation(0, {}, {}, {}, {}, true);
  db.AddLocation(folder, size, size, 0);
  std::vector<ArchiveFileInfo> remove, create;
  db.PlanLocation(0, &remove, &create);
  return db.ApplyLocation(0, remove, create, {}, {}, true) && db.Open(false);
}

// Records `count` frames of `size` bytes, camera after camera, `step` time units apart.
bool Fill(ArchiveDatabase& db, int count, size_t size, int cameras, uint64_t step) {
  ArchiveRecorder recorder;
  uint64_t now = kDayStart;
  recorder.SetClock([&now] { return now; });
  recorder.Attach(&db);
  recorder.SetEnabled(true);
  std::vector<uint8_t> frame(size, 0x5A);
  for (int i = 0; i < count; ++i) {
    if (!recorder.RecordFrame(i % cameras, frame.data(), frame.size(), i % (cameras * 10) < cameras)) return false;
    if (i % cameras == cameras - 1) now += step;
  }
  recorder.Detach();
  return true;
}

}  // namespace

int main() {
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp != nullptr ? tmp : "/tmp") + "/archive_read_bench_XXXXXX";
  if (::mkdtemp(root.data()) == nullptr) return 1;

  // --- Seek: 20000 records of 30 KB, 16 cameras, 40 ms apart per camera round.
  {
    ArchiveDatabase db(root);
    if (!MakeArchive(db, root + "/seek", 600 * kMiB) || !Fill(db, 20000, 30 * 1024, 16, kSecond / 25)) return 1;
    db.Close();
    if (!db.Open(true)) return 1;
    ArchiveReader reader(&db);
    const uint64_t first = db.Earliest(), last = db.Latest();
    std::mt19937_64 random(7);
    std::uniform_int_distribution<uint64_t> pick(first, last);
    RecordHeader header;
    for (int i = 0; i < 2000; ++i) reader.Seek(pick(random), &header);  // warm the index cache
    std::vector<double> times;
    const uint64_t readsBefore = ArchiveFile::ReadCalls();
    constexpr int kSeeks = 5000;
    for (int i = 0; i < kSeeks; ++i) {
      const uint64_t t = pick(random);
      const auto start = std::chrono::steady_clock::now();
      if (!reader.Seek(t, &header)) return 1;
      times.push_back(Since(start) * 1e6);
    }
    const double preads = static_cast<double>(ArchiveFile::ReadCalls() - readsBefore) / kSeeks;
    std::printf("seek in a 600 MiB file of 20000 records, warm: median %.1f us\n", Median(times));
    std::printf("RESULT seek_preads %.2f preads target <= 2\n", preads);
    db.Close();
  }

  // --- Activity: one day, 16 cameras, one 200-byte frame per camera every 5 s.
  {
    ArchiveDatabase db(root);
    constexpr int kPerCamera = 86400 / 5;
    if (!MakeArchive(db, root + "/day", 160 * kMiB) || !Fill(db, 16 * kPerCamera, 200, 16, 5 * kSecond)) return 1;
    db.Close();
    if (!db.Open(true)) return 1;
    ArchiveReader reader(&db);
    std::vector<uint32_t> cameras(1000), clear(1000), set(1000);
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
      const auto start = std::chrono::steady_clock::now();
      reader.Activity(kDayStart, kDayStart + kUnitsPerDay - 1, cameras, clear, set);
      times.push_back(Since(start) * 1e3);
    }
    const auto filled = std::count_if(cameras.begin(), cameras.end(), [](uint32_t m) { return m == 0xFFFF; });
    std::printf("activity of one day in 1000 bins: %ld bins with all 16 cameras\n", static_cast<long>(filled));
    std::printf("RESULT activity_day_ms %.2f ms target < 5\n", Median(times));
    db.Close();
  }
  std::filesystem::remove_all(root);
  return 0;
}
