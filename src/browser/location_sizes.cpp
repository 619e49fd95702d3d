#include "browser/location_sizes.h"

#include <algorithm>

#include "archive/archive_location.h"

namespace strixc::browser {

namespace {

constexpr uint64_t kMiB = 1048576;
constexpr int64_t kMinFiles = 3;
constexpr int64_t kMinFileMiB = 100;
constexpr int64_t kMaxFileMiB = 300;

}  // namespace

DriveSpace MeasureDrive(const std::string& path) {
  const std::optional<archive::FileSystemSpace> space = archive::FileSystemOfPath(path);
  if (!space) return {};
  return {space->freeBytes / kMiB, archive::IsOnSystemFileSystem(path)};
}

std::optional<LocationSizes> ProposeSizes(const DriveSpace& drive) {
  const auto free = static_cast<int64_t>(std::min<uint64_t>(drive.freeMiB, INT64_MAX / 100));
  const int64_t usable = drive.system ? 95 * free / 100 - 100 : free - 50;
  const int64_t fileSize = usable < 601 ? 100 : 200;
  const int64_t files = usable / fileSize;
  if (files < kMinFiles) return std::nullopt;
  return LocationSizes{files * fileSize, fileSize};
}

LocationSizes AdjustSizes(int64_t sizeMiB, int64_t fileSizeMiB, const DriveSpace& drive, bool* noSpace) {
  const int64_t fileSize = std::clamp<int64_t>(fileSizeMiB, kMinFileMiB, kMaxFileMiB);
  const int64_t size = std::max(sizeMiB / fileSize, kMinFiles) * fileSize;
  *noSpace = static_cast<uint64_t>(size) >= drive.freeMiB;
  if (*noSpace) return {kMinFiles * kMinFileMiB, kMinFileMiB};
  return {size, fileSize};
}

}  // namespace strixc::browser
