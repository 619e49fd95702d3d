// An archive file of any content, read by the verifier and by a reader walking it every way the
// browser and playback do. Neither may crash, read out of bounds or walk without end; the reader
// only ever delivers records whose header is valid and whose payload it read whole.

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "archive/archive_verifier.h"
#include "archive/memory_file_list.h"
#include "archive_image.h"
#include "fuzz_check.h"

namespace {

using namespace strixc::archive;

// The file the inputs are written to, made once per process and removed at its end.
const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_archive_XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    FUZZ_CHECK(fd >= 0);
    ::close(fd);
    std::atexit([] { ::unlink(ScratchPath().c_str()); });
    return pattern;
  }();
  return path;
}

bool WriteImage(const uint8_t* data, size_t size) {
  strixc::fuzz::InputReader in(data, size);
  const auto choice = static_cast<strixc::fuzz::ImageLength>(in.Number(1) & 3);
  size_t headSize = 0;
  const uint8_t* head = in.Bytes(in.Number(4), &headSize);
  size_t tailSize = 0;
  const uint8_t* tail = in.Rest(&tailSize);
  const uint64_t length = strixc::fuzz::ImageFileLength(choice, headSize, tailSize);
  if (headSize + tailSize > length) return false;

  const int fd = ::open(ScratchPath().c_str(), O_WRONLY | O_TRUNC);
  FUZZ_CHECK(fd >= 0);
  bool ok = ::ftruncate(fd, static_cast<off_t>(length)) == 0;
  ok = ok && ::pwrite(fd, head, headSize, 0) == static_cast<ssize_t>(headSize);
  ok = ok && ::pwrite(fd, tail, tailSize, static_cast<off_t>(length - tailSize)) == static_cast<ssize_t>(tailSize);
  ::close(fd);
  FUZZ_CHECK(ok);
  return true;
}

void CheckDelivered(const RecordHeader& h, const std::vector<uint8_t>& payload) {
  FUZZ_CHECK(h.IsValid());
  FUZZ_CHECK(payload.size() >= static_cast<size_t>(h.payloadSize));
}

// A bound no walk over a file of a few MiB can reach when every step moves forward.
constexpr int kStepLimit = 200000;

void WalkWithReader(const std::string& path) {
  MemoryFileList files({path});
  ArchiveReader reader(&files);
  FUZZ_CHECK(reader.IsUsable());
  const uint64_t earliest = files.EarliestTime();
  const uint64_t latest = files.LatestTime();
  std::vector<uint8_t> payload;
  RecordHeader h;

  for (const bool sameCamera : {false, true}) {
    if (!reader.Seek(earliest == 0 ? 1 : earliest, &h)) continue;
    int steps = 0;
    while (reader.ReadRecord(&payload, &h, sameCamera)) {
      CheckDelivered(h, payload);
      FUZZ_CHECK(++steps < kStepLimit);
    }
  }

  const uint64_t middle = earliest / 2 + latest / 2;
  for (const uint64_t t : {earliest, middle, latest}) {
    for (int camera = 0; camera < kCameraSlots; camera += 5) {
      if (reader.PrevRecordOfCamera(camera, t, &h)) FUZZ_CHECK(h.IsValid() && h.camera == camera && h.time <= t);
      if (reader.SeekCamera(camera, t, &h)) FUZZ_CHECK(h.IsValid() && h.camera == camera);
    }
  }

  std::array<RecordHeader, kCameraSlots> last{};
  std::array<bool, kCameraSlots> selected{};
  for (int c = 0; c < kCameraSlots; c += 2) selected[c] = true;
  reader.Seek(earliest == 0 ? 1 : earliest, &h);
  int camera = -1;
  int steps = 0;
  while (reader.NextAmongCameras(last, selected, &payload, &camera)) {
    FUZZ_CHECK(camera >= 0 && camera < kCameraSlots && selected[camera]);
    CheckDelivered(last[camera], payload);
    FUZZ_CHECK(++steps < kStepLimit);
  }
  reader.NextTimeAmongCameras(last, selected);

  // As playback walks: from each selected camera's record at the middle, with a second reader
  // looking ahead.
  last = {};
  for (int c = 0; c < kCameraSlots; c += 2) (void)reader.SeekCamera(c, middle, &last[c]);
  ArchiveReader lookahead(&files);
  steps = 0;
  for (;;) {
    (void)lookahead.NextTimeAmongCameras(last, selected);
    if (!reader.NextAmongCameras(last, selected, &payload, &camera)) break;
    FUZZ_CHECK(camera >= 0 && camera < kCameraSlots && selected[camera]);
    CheckDelivered(last[camera], payload);
    FUZZ_CHECK(++steps < kStepLimit);
  }

  // Both the record scan and the summary levels.
  std::array<uint32_t, 64> cameras{}, clears{}, sets{};
  reader.Activity(earliest, latest, cameras, clears, sets);
  reader.Activity(earliest, earliest + (uint64_t{1} << 40), cameras, clears, sets);
  reader.Activity(1, ~uint64_t{0}, cameras, clears, sets);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WriteImage(data, size)) return 0;
  const auto violations = ArchiveVerifier::VerifyFile(ScratchPath());
  FUZZ_CHECK(violations.size() <= ArchiveVerifier::kMaxViolations + 1);
  WalkWithReader(ScratchPath());
  return 0;
}
