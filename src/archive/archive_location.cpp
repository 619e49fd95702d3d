#include "archive/archive_location.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <limits>

namespace strixc::archive {

uint32_t ArchiveLocation::ClampMinFileNumber(int64_t number) {
  // File numbers are positive 32-bit values ("%020d" of an int), so a larger lower bound could only
  // ever exclude every file; keeping it at the top makes that explicit without wrapping around.
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (number < 0) return 0;
  if (number > kMax) return static_cast<uint32_t>(kMax);
  return static_cast<uint32_t>(number);
}

namespace {

// "a/b/c" -> "a/b", "/a" -> "/", "a" -> "." (relative paths climb to the working folder).
std::string ParentOf(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

}  // namespace

std::optional<FileSystemSpace> FileSystemOfPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::string folder = path;
  // Bounded: every step shortens the path, and "/" and "." always end it.
  for (int step = 0; step < 4096; ++step) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      struct statvfs vfs {};
      if (::statvfs(folder.c_str(), &vfs) != 0) return std::nullopt;
      FileSystemSpace out;
      out.device = static_cast<uint64_t>(st.st_dev);
      out.freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
      out.totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
      out.folder = folder;
      return out;
    }
    if (folder == "/" || folder == ".") return std::nullopt;
    folder = ParentOf(folder);
  }
  return std::nullopt;
}

bool IsOnSystemFileSystem(const std::string& path) {
  const std::optional<FileSystemSpace> of = FileSystemOfPath(path);
  const std::optional<FileSystemSpace> root = FileSystemOfPath("/");
  return of && root && of->device == root->device;
}

}  // namespace strixc::archive
