#include "archive/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

namespace strixc::archive {

namespace {

// pread/pwrite until all n bytes moved. Returns 0 on success, the errno of a failure, or -1 when
// reading met the end of the file first.
std::atomic<uint64_t> readCalls{0};

int ReadFully(int fd, uint64_t offset, uint8_t* data, size_t n) {
  while (n > 0) {
    readCalls.fetch_add(1, std::memory_order_relaxed);
    const ssize_t got = ::pread(fd, data, n, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return -1;
    data += got;
    offset += static_cast<uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return 0;
}

int WriteFully(int fd, uint64_t offset, const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t put = ::pwrite(fd, data, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (put == 0) return EIO;
    data += put;
    offset += static_cast<uint64_t>(put);
    n -= static_cast<size_t>(put);
  }
  return 0;
}

std::string SystemText(int error) { return error < 0 ? "unexpected end of file" : std::strerror(error); }

// The steps of formatting after the file has been opened and truncated. Returns 0 or an errno.
int Format(int fd, uint64_t size, ArchiveFile::Formatting formatting,
           const ArchiveFile::ProgressText& progress) {
  // Reserve every block first. The byte-a-MiB writes below leave a sparse file on Linux, whose
  // blocks would only be taken while recording, when a full disk means lost video.
  const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
  if (reserved != 0) return reserved;

  const bool fast = formatting == ArchiveFile::Formatting::kFast;
  std::minstd_rand random(std::random_device{}());
  for (uint64_t offset = kFormatFirstByte; offset < size; offset += kFormatStride) {
    const uint8_t byte = fast ? 0 : static_cast<uint8_t>(random() >> 8);
    if (const int e = WriteFully(fd, offset, &byte, 1)) return e;
    if (progress) progress(std::to_string(offset / kMiB) + "MB");
  }
  const uint8_t marker = fast ? kFillMarkerFast : kFillMarkerNormal;
  if (const int e = WriteFully(fd, size - 1, &marker, 1)) return e;
  if (progress) progress(std::string());

  const std::array<uint8_t, kHeaderSize> empty{};
  if (const int e = WriteFully(fd, kHeaderOffset, empty.data(), empty.size())) return e;
  if (::fsync(fd) != 0) return errno;
  return 0;
}

}  // namespace

ArchiveFile::~ArchiveFile() { Close(); }

ArchiveFile::ArchiveFile(ArchiveFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      length_(std::exchange(other.length_, 0)),
      error_(std::move(other.error_)) {}

ArchiveFile& ArchiveFile::operator=(ArchiveFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    length_ = std::exchange(other.length_, 0);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool ArchiveFile::Create(const std::string& path, uint64_t size, Formatting formatting,
                         const ProgressText& progress, std::string* error) {
  if (size < kMinFileLength) {
    *error = "file size below 1 MiB";
    return false;
  }
  if (size > static_cast<uint64_t>(INT64_MAX)) {
    *error = std::strerror(EFBIG);
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(fd);
    *error = "not a regular file";
    return false;
  }
  int failure = ::ftruncate(fd, 0) == 0 ? 0 : errno;
  if (failure == 0) failure = Format(fd, size, formatting, progress);
  // close can report a delayed write error (NFS, quotas).
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) {
    // Whatever the file held is gone with the truncation; a half-made file would only take space,
    // since a file of the wrong length is neither read nor cleaned up by a later rebuild. Only the
    // file we made is removed, not one swapped in meanwhile.
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino) {
      ::unlink(path.c_str());
    }
    *error = SystemText(failure);
    return false;
  }
  return true;
}

bool ArchiveFile::Open(const std::string& path, Access access) {
  Close();
  const int fd = ::open(path.c_str(), (access == Access::kReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd < 0) return FailSystem(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return FailSystem(e);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail("not a regular file");
  }
  fd_ = fd;
  path_ = path;
  length_ = static_cast<uint64_t>(st.st_size);
  error_.clear();
  return true;
}

void ArchiveFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  length_ = 0;
}

bool ArchiveFile::Reset() {
  const std::array<uint8_t, kHeaderSize> empty{};
  return WriteAt(kHeaderOffset, empty.data(), empty.size());
}

bool ArchiveFile::Sync() {
  if (fd_ < 0) return FailSystem(EBADF);
  return ::fsync(fd_) == 0 || FailSystem(errno);
}

bool ArchiveFile::ReadAt(uint64_t offset, void* data, size_t n) {
  if (fd_ < 0) return FailSystem(EBADF);
  if (offset > length_ || n > length_ - offset) return Fail("read beyond end of file");
  const int e = ReadFully(fd_, offset, static_cast<uint8_t*>(data), n);
  return e == 0 || FailSystem(e);
}

uint64_t ArchiveFile::ReadCalls() { return readCalls.load(std::memory_order_relaxed); }

bool ArchiveFile::WriteAt(uint64_t offset, const void* data, size_t n) {
  if (fd_ < 0) return FailSystem(EBADF);
  if (length_ == 0 || offset > length_ - 1 || n > length_ - 1 - offset) {
    return Fail("write beyond the data area");
  }
  const int e = WriteFully(fd_, offset, static_cast<const uint8_t*>(data), n);
  return e == 0 || FailSystem(e);
}

bool ArchiveFile::WriteAt(uint64_t offset, const void* first, size_t firstSize, const void* second,
                          size_t secondSize) {
  if (fd_ < 0) return FailSystem(EBADF);
  const size_t n = firstSize + secondSize;
  if (length_ == 0 || n < firstSize || offset > length_ - 1 || n > length_ - 1 - offset) {
    return Fail("write beyond the data area");
  }
  iovec parts[2] = {{const_cast<void*>(first), firstSize}, {const_cast<void*>(second), secondSize}};
  ssize_t put;
  do {
    put = ::pwritev(fd_, parts, 2, static_cast<off_t>(offset));
  } while (put < 0 && errno == EINTR);
  if (put < 0) return FailSystem(errno);
  // The kernel may take less than all; the rest goes out piece by piece.
  const auto done = static_cast<size_t>(put);
  if (done < firstSize) {
    const int e = WriteFully(fd_, offset + done, static_cast<const uint8_t*>(first) + done, firstSize - done);
    if (e != 0) return FailSystem(e);
  }
  const size_t secondDone = done > firstSize ? done - firstSize : 0;
  const int e = WriteFully(fd_, offset + firstSize + secondDone, static_cast<const uint8_t*>(second) + secondDone,
                           secondSize - secondDone);
  return e == 0 || FailSystem(e);
}

bool ArchiveFile::ReadHeader(FileHeader* header) {
  std::array<uint8_t, kHeaderSize> raw;
  if (!ReadAt(kHeaderOffset, raw.data(), raw.size())) return false;
  *header = FileHeader::Decode(raw.data());
  return true;
}

bool ArchiveFile::WriteHeader(const FileHeader& header) {
  std::array<uint8_t, kHeaderSize> raw;
  header.Encode(raw.data());
  return WriteAt(kHeaderOffset, raw.data(), raw.size());
}

bool ArchiveFile::ReadFirstTable(FirstTable* table) {
  std::array<uint8_t, kFirstTableSize> raw;
  if (!ReadAt(kFirstTableOffset, raw.data(), raw.size())) return false;
  *table = FirstTable::Decode(raw.data());
  return true;
}

bool ArchiveFile::WriteFirstTable(const FirstTable& table) {
  std::array<uint8_t, kFirstTableSize> raw;
  table.Encode(raw.data());
  return WriteAt(kFirstTableOffset, raw.data(), raw.size());
}

bool ArchiveFile::ReadLastTable(LastTable* table) {
  std::array<uint8_t, kLastTableSize> raw;
  if (!ReadAt(kLastTableOffset, raw.data(), raw.size())) return false;
  *table = LastTable::Decode(raw.data());
  return true;
}

bool ArchiveFile::WriteLastTable(const LastTable& table) {
  std::array<uint8_t, kLastTableSize> raw;
  table.Encode(raw.data());
  return WriteAt(kLastTableOffset, raw.data(), raw.size());
}

bool ArchiveFile::ReadTables(FileTables* tables) {
  std::array<uint8_t, kDataStart> raw;
  if (IsOpen() && length_ < kDataStart) return Fail("file tables beyond end of file");
  if (!ReadAt(0, raw.data(), raw.size())) return false;
  tables->header = FileHeader::Decode(raw.data() + kHeaderOffset);
  tables->first = FirstTable::Decode(raw.data() + kFirstTableOffset);
  tables->last = LastTable::Decode(raw.data() + kLastTableOffset);
  return true;
}

bool ArchiveFile::WriteTables(const FileTables& tables) {
  std::array<uint8_t, kDataStart> raw;
  tables.header.Encode(raw.data() + kHeaderOffset);
  tables.first.Encode(raw.data() + kFirstTableOffset);
  tables.last.Encode(raw.data() + kLastTableOffset);
  return WriteAt(0, raw.data(), raw.size());
}

bool ArchiveFile::AppendPosition(const LastTable& last, uint64_t* position) {
  if (last.lastRecordOffsetAny == 0) {
    *position = kDataStart;
    return true;
  }
  RecordHeader header;
  if (!ReadRecordHeader(last.lastRecordOffsetAny, &header)) {
    return Fail("last record: " + error_);
  }
  *position = last.lastRecordOffsetAny + kRecordHeaderSize + static_cast<uint64_t>(header.payloadSize);
  return true;
}

bool ArchiveFile::ReadRecordHeader(uint64_t offset, RecordHeader* header) {
  if (!InsideData(offset, kRecordHeaderSize, "record header")) return false;
  std::array<uint8_t, kRecordHeaderSize> raw;
  if (!ReadAt(offset, raw.data(), raw.size())) return false;
  const RecordHeader h = RecordHeader::Decode(raw.data());
  if (!h.IsValid()) return Fail("invalid record header at offset " + std::to_string(offset));
  const uint64_t payloadAt = offset + kRecordHeaderSize;
  const auto size = static_cast<uint64_t>(h.payloadSize);
  if (!InsideData(payloadAt, size, "record payload")) return false;
  // Records are only ever appended, so a correct link points past the record's own end; anything
  // else could send a walk along the links round in circles.
  const uint64_t end = payloadAt + size;
  if ((h.nextRecord != 0 && h.nextRecord < end) || (h.nextSameCamera != 0 && h.nextSameCamera < end)) {
    return Fail("record link points backwards at offset " + std::to_string(offset));
  }
  *header = h;
  return true;
}

bool ArchiveFile::ReadPayload(uint64_t offset, const RecordHeader& header,
                              std::vector<uint8_t>* payload) {
  if (header.payloadSize < 0) return Fail("negative record payload size");
  const auto size = static_cast<uint64_t>(header.payloadSize);
  if (offset > UINT64_MAX - kRecordHeaderSize) return Fail("record payload beyond end of file");
  if (!InsideData(offset + kRecordHeaderSize, size, "record payload")) return false;
  if (payload->size() < size) payload->resize(size);
  return ReadAt(offset + kRecordHeaderSize, payload->data(), size);
}

bool ArchiveFile::WriteRecord(uint64_t offset, const RecordHeader& header, const void* payload) {
  if (header.payloadSize < 0) return Fail("negative record payload size");
  const auto size = static_cast<uint64_t>(header.payloadSize);
  if (!InsideData(offset, kRecordHeaderSize + size, "record")) return false;
  std::array<uint8_t, kRecordHeaderSize> raw;
  header.Encode(raw.data());
  return WriteAt(offset, raw.data(), raw.size()) &&
         WriteAt(offset + kRecordHeaderSize, payload, size);
}

bool ArchiveFile::WriteLink(uint64_t recordOffset, Link link, uint64_t target) {
  if (!InsideData(recordOffset, kRecordHeaderSize, "record header")) return false;
  std::array<uint8_t, 8> raw;
  PutU64(raw.data(), target);
  const size_t field = link == Link::kNextRecord ? kRecordNextRecord : kRecordNextSameCamera;
  return WriteAt(recordOffset + field, raw.data(), raw.size());
}

bool ArchiveFile::ReadIndexEntry(uint32_t entry, uint32_t recordCount, IndexEntry* out) {
  if (entry >= recordCount) return Fail("index entry beyond the record count");
  const int64_t position = IndexEntryPosition(length_, entry);
  if (position < static_cast<int64_t>(kDataStart)) return Fail("index entry inside the file tables");
  std::array<uint8_t, kIndexEntrySize> raw;
  if (!ReadAt(static_cast<uint64_t>(position), raw.data(), raw.size())) return false;
  *out = IndexEntry::Decode(raw.data());
  return true;
}

bool ArchiveFile::WriteIndexEntry(uint32_t entry, const IndexEntry& in) {
  const int64_t position = IndexEntryPosition(length_, entry);
  if (position < static_cast<int64_t>(kDataStart)) return Fail("index entry inside the file tables");
  std::array<uint8_t, kIndexEntrySize> raw;
  in.Encode(raw.data());
  return WriteAt(static_cast<uint64_t>(position), raw.data(), raw.size());
}

bool ArchiveFile::ReadSummaryBlock(uint64_t offset, SummaryBlock* block) {
  if (!InsideData(offset, kSummaryBlockSize, "summary block")) return false;
  std::array<uint8_t, kSummaryBlockSize> raw;
  if (!ReadAt(offset, raw.data(), raw.size())) return false;
  const SummaryBlock b = SummaryBlock::Decode(raw.data());
  std::string why;
  if (!CheckSummaryBlock(offset, b, &why)) return Fail(why);
  *block = b;
  return true;
}

bool ArchiveFile::CheckSummaryBlock(uint64_t offset, const SummaryBlock& b, std::string* why) {
  if (b.sequence >= kBlocksPerChunk) {
    *why = "summary block sequence number above 999 at offset " + std::to_string(offset);
    return false;
  }
  // A level's next block is always handed out after the current one, further up the data area.
  if (b.next != 0 && b.next < offset + kSummaryBlockSize) {
    *why = "summary block link points backwards at offset " + std::to_string(offset);
    return false;
  }
  return true;
}

bool ArchiveFile::WriteSummaryBlock(uint64_t offset, const SummaryBlock& block) {
  if (!InsideData(offset, kSummaryBlockSize, "summary block")) return false;
  std::array<uint8_t, kSummaryBlockSize> raw;
  block.Encode(raw.data());
  return WriteAt(offset, raw.data(), raw.size());
}

bool ArchiveFile::Fail(std::string text) {
  error_ = std::move(text);
  return false;
}

bool ArchiveFile::FailSystem(int error) { return Fail(SystemText(error)); }

bool ArchiveFile::InsideData(uint64_t offset, uint64_t n, const char* what) {
  if (offset < kDataStart) return Fail(std::string(what) + " inside the file tables");
  // The fill marker at length - 1 ends the space that records and blocks may use.
  if (length_ == 0 || offset > length_ - 1 || n > length_ - 1 - offset) {
    return Fail(std::string(what) + " beyond end of file");
  }
  return true;
}

}  // namespace strixc::archive
