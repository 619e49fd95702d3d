#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace strixc::archive {

// One folder of the local archive: every archive file in it has the same size, and together they
// may take at most `space` bytes.
struct ArchiveLocation {
  // Sizes given to AddLocation and UpdateLocation are raised to at least this.
  static constexpr uint64_t kMinSize = 1048576;

  uint64_t space = 0;        // bytes all archive files of the location may occupy
  uint64_t maxFileSize = 0;  // size of every archive file of the location
  uint32_t minFileNumber = 0;  // lowest file number that belongs to the location
  std::string path;

  // Both sizes 0: the next rebuild deletes every file and then the location itself.
  bool IsMarkedDeleted() const { return space == 0 && maxFileSize == 0; }

  // A size of kMinSize or less becomes exactly kMinSize.
  static uint64_t ClampSize(uint64_t size) { return size <= kMinSize ? kMinSize : size; }
  // A negative number becomes 0; numbers beyond the 32-bit file-name range are kept at its top.
  static uint32_t ClampMinFileNumber(int64_t number);
};

// The file system that holds a path: the one of its nearest existing folder (the path itself, or
// the closest existing parent), so that a location folder not created yet is measured where it
// will be created.
struct FileSystemSpace {
  uint64_t device = 0;      // st_dev of that folder
  uint64_t freeBytes = 0;   // available to an unprivileged user
  uint64_t totalBytes = 0;
  std::string folder;       // the existing folder that was measured
};

// std::nullopt when not even "/" can be measured (or for an empty path).
std::optional<FileSystemSpace> FileSystemOfPath(const std::string& path);

// Whether a path lies on the file system that holds "/", the one the system itself lives on.
bool IsOnSystemFileSystem(const std::string& path);

}  // namespace strixc::archive
