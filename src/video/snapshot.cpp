#include "video/snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "imaging/dib.h"

namespace strixc::video {

namespace {

SnapshotResult Failure(std::string error) {
  SnapshotResult result;
  result.error = std::move(error);
  return result;
}

bool WriteAll(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

// Removes what a failed write left behind, but only a regular file that `path` still names: never
// a device (a snapshot "saved" to /dev/full) nor a file swapped in meanwhile.
void RemovePartialFile(const std::string& path, const struct stat& opened) {
  struct stat named {};
  if (!S_ISREG(opened.st_mode) || ::lstat(path.c_str(), &named) != 0) return;
  if (named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) ::unlink(path.c_str());
}

}  // namespace

SnapshotResult SnapshotWriter::Save(const uint8_t* dib, size_t dibSize, const std::string& path) {
  const imaging::PackedDib bitmap = imaging::ReadPackedDib(dib, dibSize);
  if (!bitmap.Ok()) return Failure(std::string("snapshot picture refused: ") + bitmap.error);
  const int width = bitmap.view.width;
  const int height = width * 3 / 4;
  if (height < 1) return Failure("snapshot picture too narrow");
  // Checked before scaling, which would otherwise build the whole oversized picture first.
  if (width > JpegCodec::kMaxDimension || height > JpegCodec::kMaxDimension) {
    return Failure("snapshot picture too large to encode");
  }

  if (!scaler_.Scale(bitmap.view, width, height, imaging::ScaleFilter::kBicubic, scaled_)) {
    return Failure(std::string("snapshot scaling failed: ") + scaler_.LastError());
  }
  if (codec_.Encode(scaled_.data(), width, height, kQuality, stream_) == 0) {
    return Failure(std::string("snapshot encoding failed: ") + codec_.LastError());
  }

  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Failure(kCantCreateFileText);
  struct stat opened {};
  const bool known = ::fstat(fd, &opened) == 0;
  const bool written = WriteAll(fd, stream_.data(), stream_.size());
  const int writeError = errno;
  // close can report a delayed write error (NFS, quotas): the file is then not trustworthy either.
  const bool closed = ::close(fd) == 0;
  const int closeError = errno;
  if (!written || !closed) {
    if (known) RemovePartialFile(path, opened);
    return Failure(std::string("writing the snapshot failed: ") +
                   std::strerror(written ? closeError : writeError));
  }

  SnapshotResult result;
  result.ok = true;
  result.width = width;
  result.height = height;
  return result;
}

SnapshotResult SaveSnapshot(const uint8_t* dib, size_t dibSize, const std::string& path) {
  SnapshotWriter writer;
  return writer.Save(dib, dibSize, path);
}

}  // namespace strixc::video
