#pragma once

// The sizes the archive location dialog proposes and accepts for a location, in MiB, from the free
// space of the file system the location's folder lies on.

#include <cstdint>
#include <optional>
#include <string>

namespace strixc::browser {

// The file system of a location folder: its free space in MiB, and whether it is the one holding
// "/" (the system's own, which keeps a reserve for the system).
struct DriveSpace {
  uint64_t freeMiB = 0;
  bool system = false;
};

// Measures the file system of `path` (the nearest existing folder of it); all zero when it cannot
// be measured.
DriveSpace MeasureDrive(const std::string& path);

struct LocationSizes {
  int64_t sizeMiB = 0;
  int64_t fileSizeMiB = 0;
};

// The sizes for a new location without archive files: usable space U = 95 % of the free space less
// 100 MiB on the system's file system, else the free space less 50 MiB; files of 100 MiB while U is
// below 601 MiB, else of 200 MiB; the size is the whole files that fit in U. None when fewer than
// three files fit.
std::optional<LocationSizes> ProposeSizes(const DriveSpace& drive);

// Sizes typed by the operator, made valid: the file size is kept within 100..300 MiB and the size
// becomes a whole number of files, at least three. When that is not smaller than the free space the
// result is the smallest location (3 files of 100 MiB) and `noSpace` is set.
LocationSizes AdjustSizes(int64_t sizeMiB, int64_t fileSizeMiB, const DriveSpace& drive, bool* noSpace);

}  // namespace strixc::browser
