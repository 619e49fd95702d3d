// A backup of every camera of a synthetic archive (16 CIF cameras at 25 frames per second, 40 s,
// about 100 MB in files of 32 MiB) into files of 32 MiB, against `cp -r` of the files the backup
// made, in the same run. The backup formats every file it makes before it fills it (as the
// operator's archives are made), so it writes each byte twice and also reads the source.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_backup.h"
#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "sim/scene_archive_writer.h"

using namespace strixc;

namespace {

constexpr int kRounds = 3;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

class Quiet : public archive::ArchiveBackup::Listener {
 public:
  bool Ask(archive::ArchiveBackup::Question, const std::string&) override { return true; }
  void Show(const std::string& text) override { std::fprintf(stderr, "backup: %s\n", text.c_str()); }
  void SetStatus(archive::ArchiveBackup::Status) override {}
  void Progress(uint64_t, int, int) override {}
};

uint64_t FolderBytes(const std::string& folder) {
  uint64_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) total += entry.file_size();
  return total;
}

}  // namespace

int main() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string root = std::string(tmp != nullptr ? tmp : "/tmp") + "/strixc_backup_bench";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);

  sim::SceneArchiveOptions scene;
  scene.folder = root + "/source";
  scene.space = 256 * archive::kMiB;
  scene.fileSize = 64 * archive::kMiB;
  scene.cameraMask = 0xFFFF;
  scene.movingMask = 0xFFFF;
  scene.start = *archive::TimeOfFields(archive::TimeFields{2026, 12, 7, 8, 0, 0, 0});
  scene.duration = 40 * archive::kUnitsPerSecond;
  scene.loop = 4 * archive::kUnitsPerSecond;
  const sim::SceneArchiveResult written = sim::WriteSceneArchive(scene);
  if (!written.ok) {
    std::fprintf(stderr, "backup bench: %s\n", written.error.c_str());
    return 1;
  }
  auto source = archive::ArchiveDatabase::ForFolder(scene.folder, root);

  std::vector<double> backupSeconds;
  std::vector<double> copySeconds;
  uint64_t records = 0;
  uint64_t bytes = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string dest = root + "/dest" + std::to_string(round);
    const std::string copy = root + "/copy" + std::to_string(round);
    std::filesystem::create_directories(dest);
    archive::ArchiveBackup backup(source.get());
    archive::ArchiveBackup::Options o;
    o.from = source->Earliest();
    o.to = source->Latest();
    o.cameraMask = 0xFFFF;
    o.destination = dest;
    o.fileSize = 32 * archive::kMiB;
    o.askBeforeFile = false;
    Quiet quiet;
    auto t0 = std::chrono::steady_clock::now();
    const archive::ArchiveBackup::Result result = backup.Run(o, &quiet);
    backupSeconds.push_back(Seconds(t0));
    if (result.outcome != archive::ArchiveBackup::Outcome::kFinished) {
      std::fprintf(stderr, "backup bench: the backup did not finish\n");
      return 1;
    }
    records = result.records;
    bytes = FolderBytes(dest);
    t0 = std::chrono::steady_clock::now();
    const std::string command = "cp -r '" + dest + "' '" + copy + "'";
    if (std::system(command.c_str()) != 0) return 1;
    copySeconds.push_back(Seconds(t0));
    std::filesystem::remove_all(dest);
    std::filesystem::remove_all(copy);
  }
  const double backup = Median(backupSeconds);
  const double copy = Median(copySeconds);
  std::printf("backup: %llu records, %.1f MB of files in %.3f s; cp of the same files %.3f s\n",
              static_cast<unsigned long long>(records), static_cast<double>(bytes) / 1e6, backup, copy);
  std::printf("RESULT backup_mb_per_s %.1f MB/s\n", static_cast<double>(bytes) / 1e6 / backup);
  std::printf("RESULT backup_vs_copy %.2f ratio target >= 0.3\n", copy / backup);
  std::filesystem::remove_all(root);
  return 0;
}
