#include "playback/playback_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "archive/archive_format.h"
#include "archive/archive_records.h"
#include "video/jpeg_codec.h"

namespace strixc::playback::test {

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

video::PictureBuffer Solid(int width, int height, Bgr colour) {
  video::PictureBuffer p;
  p.Resize(width, height);
  std::memset(p.Bits(), 0, p.ImageSize());
  for (int y = 0; y < height; ++y) {
    uint8_t* row = p.Bits() + static_cast<size_t>(y) * p.Stride();
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(colour.blue);
      row[3 * x + 1] = static_cast<uint8_t>(colour.green);
      row[3 * x + 2] = static_cast<uint8_t>(colour.red);
    }
  }
  return p;
}

std::vector<uint8_t> Jpeg(const video::PictureBuffer& p) {
  video::JpegCodec codec;
  std::vector<uint8_t> out;
  codec.Encode(p.Bits(), p.Width(), p.Height(), 90, out);
  return out;
}

}  // namespace

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "test_playback";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

std::vector<uint8_t> KeyFrame(Bgr colour) { return Jpeg(Solid(kWidth, kHeight, colour)); }

std::vector<uint8_t> DeltaFrame(int block, Bgr colour) {
  constexpr int kBlocks = (kWidth / 8) * (kHeight / 8);
  std::vector<uint8_t> out(2 + kBlocks / 8 + 1, 0);
  out[0] = static_cast<uint8_t>(kBlocks & 0xFF);
  out[1] = static_cast<uint8_t>(kBlocks >> 8);
  out[2 + block / 8] |= static_cast<uint8_t>(1u << (block % 8));
  // The replacement picture: its first block is the new content.
  const std::vector<uint8_t> patch = Jpeg(Solid(16, 8, colour));
  out.insert(out.end(), patch.begin(), patch.end());
  return out;
}

// ---- Stand-ins.

void RecordingDisplay::SetFrameSource(video::FrameSource* source) {
  std::lock_guard<std::mutex> guard(lock_);
  source_ = source;
}

void RecordingDisplay::OnFrame(int camera, bool) {
  std::lock_guard<std::mutex> guard(lock_);
  frames_.push_back({camera, Clock::now()});
}

std::vector<RecordingDisplay::Frame> RecordingDisplay::Frames() {
  std::lock_guard<std::mutex> guard(lock_);
  return frames_;
}

video::FrameSource* RecordingDisplay::Source() {
  std::lock_guard<std::mutex> guard(lock_);
  return source_;
}

void RecordingDisplay::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  frames_.clear();
}

void RecordingTimeline::SetMapData(uint64_t t1, uint64_t t2, std::span<const uint32_t> recorded,
                                   std::span<const uint32_t>, std::span<const uint32_t>) {
  std::lock_guard<std::mutex> guard(lock);
  parts.push_back({t1, t2, {recorded.begin(), recorded.end()}});
}

void RecordingTimeline::AddBookmarks(std::span<const uint64_t> times) {
  std::lock_guard<std::mutex> guard(lock);
  bookmarks.insert(bookmarks.end(), times.begin(), times.end());
}

void RecordingTimeline::InsertBookmark(uint64_t time) {
  std::lock_guard<std::mutex> guard(lock);
  bookmarks.push_back(time);
}

void RecordingTimeline::RemoveBookmark(uint64_t time) {
  std::lock_guard<std::mutex> guard(lock);
  std::erase(bookmarks, time);
}

void RecordingTimeline::SetRowEnabled(int camera, bool enabled) {
  std::lock_guard<std::mutex> guard(lock);
  if (enabled) {
    rows |= 1u << camera;
  } else {
    rows &= ~(1u << camera);
  }
}

bool RecordingReceiver::HasStatus(int code) const {
  for (const auto& s : statuses) {
    if (s.first == code) return true;
  }
  return false;
}

int64_t RecordingReceiver::LastValueOf(int code) const {
  int64_t value = -1;
  for (const auto& s : statuses) {
    if (s.first == code) value = s.second;
  }
  return value;
}

RecordingWriter::~RecordingWriter() {
  std::lock_guard<std::mutex> guard(log_->lock);
  log_->destroyed = true;
}

bool RecordingWriter::Open(QObject*, int) {
  std::lock_guard<std::mutex> guard(log_->lock);
  log_->opened = openOk_;
  return openOk_;
}

bool RecordingWriter::Write(const video::BitmapInfoHeader& header, const uint8_t* bits, uint64_t time) {
  if (writeMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(writeMs_));
  if (failAt_ != 0 && ++count_ >= failAt_) return false;
  std::lock_guard<std::mutex> guard(log_->lock);
  log_->written.push_back(time);
  log_->pictures.emplace_back(bits, bits + header.biSizeImage);
  last_ = time;
  return true;
}

int RecordingWriter::Percent() {
  if (end_ <= start_ || last_ <= start_) return 0;
  return static_cast<int>(std::min<uint64_t>(100, (last_ - start_) * 100 / (end_ - start_)));
}

// ---- The archive.

void PlaybackArchive::SetUp() {
  EnsureApplication();
  std::string pattern = ::testing::TempDir() + "playback_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  data_ = pattern;
  ASSERT_EQ(::mkdir((data_ + "/loc").c_str(), 0700), 0);
}

void PlaybackArchive::TearDown() {
  recorder_.Detach();
  db_.reset();
  std::filesystem::remove_all(data_);
}

void PlaybackArchive::MakeArchive(int files) {
  db_ = std::make_unique<archive::ArchiveDatabase>(data_);
  db_->MarkLocationDeleted(0);
  ASSERT_TRUE(db_->ApplyLocation(0, {}, {}, {}, {}, true));
  ASSERT_EQ(db_->AddLocation(data_ + "/loc", files * kMiB, kMiB, 0), 0);
  std::vector<archive::ArchiveFileInfo> remove, create;
  ASSERT_TRUE(db_->PlanLocation(0, &remove, &create));
  ASSERT_TRUE(db_->ApplyLocation(0, remove, create, {}, {}, true));
  ASSERT_TRUE(db_->Open(false));
  recorder_.Attach(db_.get());
  recorder_.SetEnabled(true);
}

void PlaybackArchive::Key(int camera, uint64_t time, Bgr colour) {
  const std::vector<uint8_t> frame = KeyFrame(colour);
  ASSERT_TRUE(recorder_.WriteRecord(archive::RecordType::kKeyFrame, camera, time, frame.data(), frame.size()));
}

void PlaybackArchive::Delta(int camera, uint64_t time, int block, Bgr colour) {
  const std::vector<uint8_t> frame = DeltaFrame(block, colour);
  ASSERT_TRUE(recorder_.WriteRecord(archive::RecordType::kDeltaFrame, camera, time, frame.data(), frame.size()));
}

void PlaybackArchive::Keys(int camera, uint64_t start, int count, uint64_t spacing, Bgr colour) {
  for (int i = 0; i < count; ++i) Key(camera, start + i * spacing, colour);
}

void PlaybackArchive::CorruptRecord(int camera, uint64_t time) {
  bool found = false;
  for (const archive::ArchiveFileInfo& file : db_->Files()) {
    std::fstream f(file.path, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<char> pattern(10);
    pattern[1] = static_cast<char>(camera);
    for (int i = 0; i < 8; ++i) pattern[2 + i] = static_cast<char>((time >> (8 * i)) & 0xFF);
    for (size_t at = archive::kDataStart; at + pattern.size() <= bytes.size(); ++at) {
      const char type = bytes[at];
      if ((type != 1 && type != 2) || !std::equal(pattern.begin() + 1, pattern.end(), bytes.begin() + at + 1)) continue;
      f.clear();
      f.seekp(static_cast<std::streamoff>(at));
      f.put(0x7F);
      found = true;
      break;
    }
    if (found) break;
  }
  ASSERT_TRUE(found);
}

std::vector<uint8_t> PictureOf(video::FrameSource& store, int camera) {
  store.LockFrame(camera);
  std::vector<uint8_t> out;
  const video::BitmapInfoHeader* h = store.GetFrameHeader(camera);
  const uint8_t* bits = store.GetFrameBits(camera);
  if (h != nullptr && bits != nullptr && h->biWidth != 0 && h->biHeight != 0) {
    out.assign(bits, bits + h->biSizeImage);
  }
  store.UnlockFrame(camera);
  return out;
}

}  // namespace strixc::playback::test
