// Recording 30 KB frames of 16 cameras in turn through ArchiveRecorder into a preallocated archive,
// against one pwrite per frame appending the same bytes to a preallocated file of the same size.
// Neither syncs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_format.h"
#include "archive/archive_recorder.h"

using namespace strixc::archive;

namespace {
constexpr size_t kFrame = 30 * 1024;
constexpr uint64_t kFileSize = 64 * kMiB;
constexpr int kFiles = 3;
constexpr int kFrames = 5000;  // about 150 MB: the ring moves on twice
constexpr int kRounds = 5;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}
}  // namespace

int main() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/archive_bench_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const std::string data = pattern, folder = data + "/loc";
  ::mkdir(folder.c_str(), 0700);
  std::vector<uint8_t> frame(kFrame);
  for (size_t i = 0; i < kFrame; ++i) frame[i] = static_cast<uint8_t>(i * 13);

  // Rounds alternate between the two, each on fresh files of the same total size, and the
  // medians are compared, so that page-cache warm-up and other load hit both alike.
  std::vector<double> recordRates, pwriteRates;
  for (int round = 0; round < kRounds; ++round) {
    {
      ArchiveDatabase db(data);
      db.MarkLocationDeleted(0);
      db.ApplyLocation(0, {}, {}, {}, {}, true);
      db.AddLocation(folder, kFiles * kFileSize, kFileSize, 0);
      std::vector<ArchiveFileInfo> remove, create;
      db.PlanLocation(0, &remove, &create);
      if (!db.ApplyLocation(0, remove, create, {}, {}, true) || !db.Open(false)) return 1;
      ArchiveRecorder recorder;
      recorder.Attach(&db);
      recorder.SetEnabled(true);
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kFrames; ++i) {
        if (!recorder.RecordFrame(i % 16, frame.data(), frame.size(), i % 25 < 16)) return 1;
      }
      recordRates.push_back(kFrames / Seconds(start));
      recorder.Detach();
      db.Close();
      std::filesystem::remove_all(folder);
      ::mkdir(folder.c_str(), 0700);
    }
    {
      const std::string path = data + "/plain";
      const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
      if (fd < 0 || ::posix_fallocate(fd, 0, kFiles * kFileSize) != 0) return 1;
      const auto start = std::chrono::steady_clock::now();
      uint64_t at = 0;
      for (int i = 0; i < kFrames; ++i) {
        if (::pwrite(fd, frame.data(), kFrame, static_cast<off_t>(at)) != static_cast<ssize_t>(kFrame)) return 1;
        at += kFrame;
      }
      pwriteRates.push_back(kFrames / Seconds(start));
      ::close(fd);
      ::unlink(path.c_str());
    }
  }
  const double recordRate = Median(recordRates);
  const double pwriteRate = Median(pwriteRates);
  std::filesystem::remove_all(data);
  std::printf("recorder: %.0f records/s, pwrite: %.0f frames/s\n", recordRate, pwriteRate);
  std::printf("RESULT record_vs_pwrite %.2f ratio target >= 0.5\n", recordRate / pwriteRate);
  return 0;
}
