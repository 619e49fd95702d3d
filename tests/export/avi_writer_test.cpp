#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "export/export_run.h"
#include "export_fixture.h"
#include "video/picture.h"

namespace strixc::exporting::test {
namespace {

constexpr uint64_t kSecond = 10'000'000;

// ---- Each container and encoder, read back by ffprobe and ffmpeg.

struct Case {
  const char* codec;
  const char* extension;
  const char* probedCodec;
  bool lossless;
};

class ExportFormats : public ExportArchive, public ::testing::WithParamInterface<Case> {};

TEST_P(ExportFormats, FileHasTheSizeCodecFramesAndFirstPictureOfTheArchive) {
  const Case c = GetParam();
  if (!HaveFfmpegTools()) GTEST_SKIP() << "ffmpeg and ffprobe are needed to read the files back";
  const Container container = ContainerOf(std::string("x.") + c.extension);
  if (!ExportCodecAvailable(container, c.codec)) GTEST_SKIP() << c.codec << " is not in this FFmpeg build";
  const std::string file = Path(std::string("out.") + c.extension);
  const uint64_t from = options_.start + kSecond / 2;
  const Exported e = Export(file, kMoving, from, from + 2 * kSecond, {c.codec});

  ASSERT_EQ(e.result, playback::kExportCompleted);
  ASSERT_TRUE(e.summary.complete) << e.summary.error;
  EXPECT_EQ(e.summary.pictures, e.times.size());
  EXPECT_NEAR(static_cast<double>(e.times.size()), 50, 1);  // two seconds at 25 a second
  const Probe probe = ProbeFile(file);
  ASSERT_TRUE(probe.ok);
  EXPECT_EQ(probe.codec, c.probedCodec);
  EXPECT_EQ(probe.width, kWidth);
  EXPECT_EQ(probe.height, kHeight);
  EXPECT_EQ(probe.frames, static_cast<long>(e.summary.frames));

  const double psnr = Psnr(FirstPictureOf(file, kWidth, kHeight), e.firstPicture);
  EXPECT_GE(psnr, c.lossless ? 99 : 30);
  if (container != Container::kAvi) {
    // Time-stamped: one frame per picture, lasting as long as the recording (the last picture
    // shown for one frame at the nominal rate).
    EXPECT_EQ(e.summary.frames, e.summary.pictures);
    const double span = static_cast<double>(e.times.back() - e.times.front()) / kSecond;
    EXPECT_GE(probe.duration, span - 0.005);
    EXPECT_LE(probe.duration, span + 1.0 / 15 + 0.005);
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, ExportFormats,
                         ::testing::Values(Case{"mjpeg", "avi", "mjpeg", false}, Case{"mpeg4", "avi", "mpeg4", false},
                                           Case{"libx264", "mp4", "h264", false}, Case{"libx264", "mkv", "h264", false},
                                           Case{"mpeg4", "mp4", "mpeg4", false}, Case{"ffv1", "mkv", "ffv1", true},
                                           Case{"rawvideo", "avi", "rawvideo", true}, Case{"libx264", "avi", "h264", false},
                                           Case{"mjpeg", "mkv", "mjpeg", false}),
                         [](const auto& info) {
                           return std::string(info.param.codec) + "_" + info.param.extension;
                         });

TEST_F(ExportArchive, AviRepeatsPicturesAtTheStreamRateSoItsLengthIsTheRecordings) {
  if (!HaveFfmpegTools()) GTEST_SKIP();
  const std::string file = Path("slow.avi");
  // Five pictures a second into a 15 a second stream: each picture after the first follows two
  // repeats of its predecessor.
  const Exported e = Export(file, kSlow, options_.start, options_.start + 2 * kSecond, {"mjpeg"});
  ASSERT_EQ(e.result, playback::kExportCompleted);
  ASSERT_GE(e.summary.pictures, 10u);
  EXPECT_EQ(e.summary.frames, e.summary.pictures + 2 * (e.summary.pictures - 1));
  const Probe probe = ProbeFile(file);
  EXPECT_EQ(probe.frames, static_cast<long>(e.summary.frames));
  const double span = static_cast<double>(e.times.back() - e.times.front()) / kSecond;
  EXPECT_NEAR(probe.duration, span + 1.0 / 15, 0.1);
}

// ---- Ends and failures.

TEST_F(ExportArchive, AnEndBeforeTheFirstPictureCompletesAtOnceLeavingNoFile) {
  const std::string file = Path("none.avi");
  const Exported e = Export(file, kMoving, options_.start + 1, options_.start + 2, {"mjpeg"});
  EXPECT_EQ(e.result, playback::kExportCompleted);
  EXPECT_TRUE(e.times.empty());
  EXPECT_FALSE(e.summary.complete);
  EXPECT_FALSE(FileExists(file));
}

TEST_F(ExportArchive, AFolderThatCannotBeWrittenDoesNotStartAndLeavesNothing) {
  const std::string notAFolder = Path("plain-file");
  std::ofstream(notAFolder) << "x";
  const std::string file = notAFolder + "/out.avi";
  const Exported e = Export(file, kMoving, options_.start, options_.start + kSecond, {"mjpeg"});
  EXPECT_EQ(e.result, -1);
  EXPECT_FALSE(FileExists(file));
}

TEST_F(ExportArchive, AFullDiskEndsWithAWriteErrorAndRemovesTheHalfWrittenFile) {
  // The file-size limit stands in for a full disk: writes past it fail (EFBIG), as on a full one.
  const std::string file = Path("full.avi");
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 300 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const Exported e = Export(file, kMoving, options_.start, options_.start + 3 * kSecond, {"rawvideo"});
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(e.result, playback::kExportWriteError);
  EXPECT_FALSE(e.summary.complete);
  EXPECT_LT(e.times.size(), 10u);
  EXPECT_FALSE(FileExists(file));
}

// ---- The writer alone.

video::PictureBuffer Picture(int width, int height) {
  video::PictureBuffer p;
  p.Resize(width, height);
  for (size_t i = 0; i < p.ImageSize(); ++i) p.Bits()[i] = static_cast<uint8_t>(i * 7);
  return p;
}

class Writer : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }
  QTemporaryDir dir_;
};

TEST_F(Writer, PercentCoversTheRangeAndItsExtremes) {
  const video::PictureBuffer p = Picture(64, 48);
  AviWriter writer(0, 1000, 2000, Path("p.avi"), ExportCompression{"mjpeg"});
  ASSERT_TRUE(writer.Open(nullptr, 15));
  EXPECT_EQ(writer.Percent(), 0);
  ASSERT_TRUE(writer.Write(p.Header(), p.Bits(), 999));  // before the start
  EXPECT_EQ(writer.Percent(), 0);
  ASSERT_TRUE(writer.Write(p.Header(), p.Bits(), 1500));
  EXPECT_EQ(writer.Percent(), 50);
  ASSERT_TRUE(writer.Write(p.Header(), p.Bits(), UINT64_MAX));  // far beyond the end
  EXPECT_EQ(writer.Percent(), 100);
  // A range of one unit, none or less counts as one unit.
  for (uint64_t end : {0ull, 1000ull, 1001ull}) {
    AviWriter tiny(0, 1000, end, Path("t.avi"), ExportCompression{"mjpeg"});
    ASSERT_TRUE(tiny.Open(nullptr, 15));
    ASSERT_TRUE(tiny.Write(p.Header(), p.Bits(), 1001));
    EXPECT_EQ(tiny.Percent(), 100);
  }
}

TEST_F(Writer, FirstPictureIsWrittenOnceAndRepeatsAreCappedAtFive) {
  const video::PictureBuffer p = Picture(64, 48);
  AviWriter writer(0, 0, 100 * kSecond, Path("r.avi"), ExportCompression{"mjpeg"});
  ASSERT_TRUE(writer.Open(nullptr, 10));
  ASSERT_TRUE(writer.Write(p.Header(), p.Bits(), kSecond));
  EXPECT_EQ(writer.Frames(), 1u);
  ASSERT_TRUE(writer.Write(p.Header(), p.Bits(), kSecond + kSecond / 10));  // one slot later: no repeat
  EXPECT_EQ(writer.Frames(), 2u);
  ASSERT_TRUE(writer.Write(p.Header(), p.Bits(), 2 * kSecond + kSecond / 10));  // ten slots: capped
  EXPECT_EQ(writer.Frames(), 2u + 5 + 1);
  ASSERT_TRUE(writer.Write(p.Header(), p.Bits(), 2 * kSecond));  // earlier than the last: no repeat
  EXPECT_EQ(writer.Frames(), 9u);
  EXPECT_TRUE(writer.Close());
}

TEST_F(Writer, ASizeChangeFailsTheExportAndRemovesTheFile) {
  const std::string file = Path("size.mkv");
  const video::PictureBuffer a = Picture(64, 48), b = Picture(80, 48);
  AviWriter writer(0, 0, 10 * kSecond, file, ExportCompression{"ffv1"});
  ASSERT_TRUE(writer.Open(nullptr, 15));
  ASSERT_TRUE(writer.Write(a.Header(), a.Bits(), kSecond));
  EXPECT_FALSE(writer.Write(b.Header(), b.Bits(), 2 * kSecond));
  EXPECT_FALSE(writer.Write(a.Header(), a.Bits(), 3 * kSecond));  // failed stays failed
  EXPECT_FALSE(writer.Close());
  EXPECT_FALSE(FileExists(file));
}

TEST_F(Writer, AFileThatCannotBeCompletedIsAWriteErrorAndIsRemoved) {
  // Two small pictures stay in the file layer's buffer; the disk fills when the file is
  // completed, past every Write.
  const std::string file = Path("trailer.avi");
  const video::PictureBuffer p = Picture(64, 48);
  AviWriter writer(0, 0, 10 * kSecond, file, ExportCompression{"rawvideo"});
  ASSERT_TRUE(writer.Open(nullptr, 15));
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = writer.Write(p.Header(), p.Bits(), kSecond) && writer.Write(p.Header(), p.Bits(), 2 * kSecond);
  const bool finished = writer.Finish();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(written);
  EXPECT_FALSE(finished);
  EXPECT_FALSE(FileExists(file));
  // Nothing written is nothing to complete: the export still counts as done.
  AviWriter empty(0, 0, 10, Path("empty.avi"), ExportCompression{"mjpeg"});
  ASSERT_TRUE(empty.Open(nullptr, 15));
  EXPECT_TRUE(empty.Finish());
  EXPECT_FALSE(FileExists(Path("empty.avi")));
}

TEST_F(Writer, BadPicturesAreRefusedNotRead) {
  video::PictureBuffer p = Picture(64, 48);
  AviWriter writer(0, 0, 10, Path("bad.avi"), ExportCompression{"mjpeg"});
  ASSERT_TRUE(writer.Open(nullptr, 15));
  video::BitmapInfoHeader short_ = p.Header();
  short_.biSizeImage -= 1;
  EXPECT_FALSE(writer.Write(short_, p.Bits(), 1));
  video::BitmapInfoHeader huge = p.Header();
  huge.biWidth = 1 << 30;
  AviWriter other(0, 0, 10, Path("bad2.avi"), ExportCompression{"mjpeg"});
  ASSERT_TRUE(other.Open(nullptr, 15));
  EXPECT_FALSE(other.Write(huge, p.Bits(), 1));
}

TEST_F(Writer, OpenDeletesTheOldFileEvenWhenTheChoiceIsCancelled) {
  const std::string file = Path("old.avi");
  std::ofstream(file) << "previous export";
  int asked = 0;
  AviWriter writer(0, 0, 10, file, [&](QObject*, const std::string& name, ExportCompression* c) {
    ++asked;
    EXPECT_EQ(name, file);
    return false;
  });
  EXPECT_FALSE(writer.Open(nullptr, 15));
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(FileExists(file));
}

TEST_F(Writer, ChosenCompressionIsUsedAndUnknownCodecsRefused) {
  AviWriter chosen(0, 0, 10, Path("c.avi"), [](QObject*, const std::string&, ExportCompression* c) {
    c->codec = "mpeg4";
    c->quality = 40;
    return true;
  });
  ASSERT_TRUE(chosen.Open(nullptr, 15));
  EXPECT_EQ(chosen.Compression().codec, "mpeg4");
  EXPECT_EQ(chosen.Compression().quality, 40);
  AviWriter unknown(0, 0, 10, Path("u.avi"), ExportCompression{"no-such-codec"});
  EXPECT_FALSE(unknown.Open(nullptr, 15));
  EXPECT_FALSE(FileExists(Path("u.avi")));
  // Raw pictures have no tag in MPEG-4 files.
  EXPECT_FALSE(ExportCodecAvailable(Container::kMp4, "rawvideo"));
  EXPECT_EQ(DefaultExportCodec(Container::kAvi), "mjpeg");
  EXPECT_EQ(ContainerOf("/a.b/C.MKV"), Container::kMatroska);
  EXPECT_EQ(ContainerOf("/a.mkv/c"), Container::kAvi);
}

}  // namespace
}  // namespace strixc::exporting::test
