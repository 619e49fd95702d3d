#include "display/video_display.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "archive/archive_time.h"
#include "display/frame_rate.h"
#include "display/picture_source.h"
#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace strixc::display {
namespace {

using test::Bgr;
using test::PictureSource;

constexpr uint32_t kBackground = 0x4A4F55;

struct RecordingTarget : DisplayTarget {
  void RepaintArea(const video::Rect& area) override { areas.push_back(area); }
  std::vector<video::Rect> areas;
};

class DisplayTest : public testing::Test {
 protected:
  void SetUp() override { display_.SetFrameSource(&source_); }

  void AttachTo(const video::Rect& rect) { ASSERT_TRUE(display_.Attach(&target_, rect, kBackground)); }

  QRgb At(int x, int y) { return display_.Grab().pixel(x, y) & 0xFFFFFF; }

  // How many pixels of the window rectangle have exactly `rgb`.
  int Count(const QRect& area, QRgb rgb) {
    return CountIf(area, [rgb](QRgb p) { return (p & 0xFFFFFF) == rgb; });
  }
  // Text is smoothed: its strokes are near white, seldom exactly white.
  int CountBright(const QRect& area) {
    return CountIf(area, [](QRgb p) { return qRed(p) > 0xC0 && qGreen(p) > 0xC0 && qBlue(p) > 0xC0; });
  }
  template <class Test>
  int CountIf(const QRect& area, Test test) {
    const QImage image = display_.Grab();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) n += test(image.pixel(x, y));
    }
    return n;
  }

  uint32_t tick_ = 1000;
  VideoDisplay display_{[this] { return tick_; }};
  PictureSource source_;
  RecordingTarget target_;
};

bool Near(QRgb a, QRgb b, int tolerance = 6) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// --- Composition ---

TEST_F(DisplayTest, FrameDrawsOnlyItsCellAndAsksForThatRepaint) {
  AttachTo({0, 0, 799, 599});
  display_.SetLayout(16);
  display_.SelectCamera(5);  // keep the red selection frame off camera 0
  source_.Fill(0, 352, 288, test::kBlue);
  target_.areas.clear();
  display_.OnFrame(0, false);

  ASSERT_EQ(target_.areas.size(), 1u);
  EXPECT_EQ(target_.areas[0], (video::Rect{3, 3, 198, 148}));
  EXPECT_EQ(At(100, 75), 0x0000FFu);
  EXPECT_EQ(At(3, 3), 0x0000FFu);
  EXPECT_EQ(At(197, 147), 0x0000FFu);
  // Like a Windows rectangle, the cell's last column and row are not painted, nor the gaps.
  EXPECT_EQ(At(198, 75), kBackground);
  EXPECT_EQ(At(100, 148), kBackground);
  EXPECT_EQ(At(1, 1), kBackground);
  // Camera 1 has no picture: the no-video card, not the blue.
  EXPECT_NE(At(300, 75), 0x0000FFu);
}

TEST_F(DisplayTest, PictureKeepsItsLayoutWhenShrunkAndEnlarged) {
  // Left half red, right half green, top quarter white: orientation and sides survive scaling.
  source_.Paint(0, 704, 576, [](int x, int y) {
    if (y < 144) return test::kWhite;
    return x < 352 ? test::kRed : test::kGreen;
  });
  for (const video::Rect display : {video::Rect{0, 0, 799, 599}, video::Rect{0, 0, 1599, 1199}}) {
    SCOPED_TRACE(display.right);
    AttachTo(display);
    display_.SetLayout(16);  // 196 x 146 cells from 704 x 576: the halving path
    display_.SelectCamera(5);
    display_.OnFrame(0, false);
    const video::Rect c = display_.CellRect(0);
    const int w = c.right - c.left, h = c.bottom - c.top;
    EXPECT_TRUE(Near(At(c.left + w / 4, c.top + h * 3 / 4), 0xFF0000));
    EXPECT_TRUE(Near(At(c.left + w * 3 / 4, c.top + h * 3 / 4), 0x00FF00));
    EXPECT_TRUE(Near(At(c.left + w / 2, c.top + h / 16), 0xFFFFFF));
  }
  AttachTo({0, 0, 1279, 959});
  display_.SetLayout(1);  // one big cell: enlarged
  display_.OnFrame(0, false);
  EXPECT_TRUE(Near(At(300, 800), 0xFF0000));
  EXPECT_TRUE(Near(At(1000, 800), 0x00FF00));
  EXPECT_TRUE(Near(At(640, 50), 0xFFFFFF));
}

TEST_F(DisplayTest, LargeCellDoesNotPaintOverTheSmallOnes) {
  AttachTo({0, 0, 799, 599});
  display_.SetLayout(4);
  source_.Fill(0, 352, 288, test::kBlue);
  source_.Fill(1, 352, 288, test::kGreen);
  display_.RedrawAll();
  const video::Rect small = display_.CellRect(1);
  display_.OnFrame(0, false);
  EXPECT_EQ(At((small.left + small.right) / 2, (small.top + small.bottom) / 2), 0x00FF00u);
  EXPECT_EQ(At(100, 300), 0x0000FFu);
}

TEST_F(DisplayTest, LargeCellLeavesNoBackgroundAroundTheSmallOnesInLayoutsTwoAndFour) {
  for (const video::Rect area : {video::Rect{0, 0, 799, 599}, video::Rect{0, 0, 640, 481}, video::Rect{0, 0, 1085, 813}}) {
    AttachTo(area);
    for (const int layout : {2, 4}) {
      display_.SetLayout(layout);
      source_.Fill(0, 352, 288, test::kBlue);
      for (int camera = 1; camera < 4; ++camera) source_.Fill(camera, 352, 288, test::kGreen);
      display_.RedrawAll();
      for (int camera = 0; camera < 4; ++camera) display_.OnFrame(camera, false);
      display_.OnFrame(0, false);
      const video::Rect large = display_.CellRect(0);
      // A picture fills its cell without the last column and row.
      EXPECT_EQ(Count(QRect(large.left, large.top, large.right - large.left, large.bottom - large.top), kBackground),
                0)
          << "layout " << layout << " in " << area.right + 1 << " x " << area.bottom + 1;
    }
  }
}

TEST_F(DisplayTest, DisabledOrDetachedDisplayDrawsNothingButCountsFrames) {
  display_.OnFrame(0, false);  // never attached
  EXPECT_TRUE(display_.Grab().isNull());
  AttachTo({0, 0, 799, 599});
  display_.SetEnabled(false);
  source_.Fill(0, 352, 288, test::kBlue);
  target_.areas.clear();
  display_.OnFrame(0, false);
  EXPECT_TRUE(target_.areas.empty());
  EXPECT_EQ(At(100, 75), kBackground);
  EXPECT_FALSE(display_.Attach(&target_, {0, 0, 100000, 10}, kBackground));
  EXPECT_TRUE(display_.Grab().isNull());
}

TEST_F(DisplayTest, FlatPictureStaysFlatThroughSharpeningAndFilters) {
  AttachTo({0, 0, 799, 599});
  display_.SetLayout(1);
  display_.SelectCamera(5);
  display_.SetShowName(0, false);
  display_.SetShowTime(0, false);
  source_.Fill(0, 352, 288, test::Gray(0x80));
  display_.SetSharpen(true);
  display_.OnFrame(0, false);
  const QRect inside(20, 20, 700, 500);
  EXPECT_EQ(Count(inside, 0x808080), inside.width() * inside.height());
  display_.SetSharpen(false);
  display_.SetFilterMode(0, 7);
  EXPECT_EQ(display_.GetFilterMode(0), 1);
  EXPECT_EQ(Count(inside, 0x808080), inside.width() * inside.height());
}

// --- Overlays ---

class OverlayTest : public DisplayTest {
 protected:
  // Layout 1 in a display `width` + 6 pixels wide gives one cell with right - left == width.
  video::Rect ShowSingleCell(int width) {
    AttachTo({0, 0, width + 6, 199});
    display_.SetLayout(1);
    display_.SetTextColor(0, 3);  // white
    source_.Fill(0, 352, 288, test::Gray(0x20));
    source_.SetTime(0, *archive::TimeOfFields({2026, 12, 7, 10, 22, 33, 0}));
    display_.OnFrame(0, true);
    return display_.CellRect(0);
  }
};

TEST_F(OverlayTest, NarrowCellShowsMarksAndFramesButNoText) {
  const video::Rect c = ShowSingleCell(140);
  ASSERT_EQ(c.right - c.left, 140);
  display_.SetAreaRect(0, {2000, 2000, 8000, 8000});
  const QRect texts(c.left + 5, c.top + 5, c.right - c.left - 10, 40);
  EXPECT_EQ(CountBright(texts), 0);
  EXPECT_EQ(At(c.right - 11, c.bottom - 11), 0xFF0000u) << "marker";
  EXPECT_EQ(At(c.left, 100), 0xFF0000u) << "selection frame";
  const video::Rect area = display_.FrameToCell(0, video::Rect{2000, 2000, 8000, 8000});
  const QRgb edge = At(area.left, (area.top + area.bottom) / 2);
  EXPECT_TRUE(edge == 0xFFFF00u || edge == 0x000000u) << std::hex << edge;

  ShowSingleCell(141);
  EXPECT_GT(CountBright(texts), 40) << "name and time appear one pixel wider";
}

TEST_F(OverlayTest, EventTextIsReadInTheServersCodePage) {
  // "Wejście" is ...B6... in ISO-8859-2 and ...9C... in Windows-1250; B6 is "¶" in Windows-1250.
  auto eventArea = [&](const char* text, const char* codePage) {
    display_.SetTextCodec(*net::TextCodec::Create(codePage));
    source_.SetText(0, text);
    const video::Rect c = ShowSingleCell(300);
    const int middle = (c.top + c.bottom) / 2;
    return display_.Grab().copy(QRect(c.left + 1, middle - 40, c.right - c.left - 2, 40));
  };
  const QImage iso = eventArea("Wej\xB6" "cie", "ISO-8859-2");
  EXPECT_EQ(eventArea("Wej\x9C" "cie", "Windows-1250"), iso);
  EXPECT_NE(eventArea("Wej\xB6" "cie", "Windows-1250"), iso);
}

TEST_F(OverlayTest, HighlightAndTrackingFramesUseTheirColours) {
  const video::Rect c = ShowSingleCell(300);
  display_.SetHighlightedCamera(0);
  display_.SetTrackRect(0, {8000, 8000, 2000, 2000});  // reversed: normalised
  EXPECT_EQ(display_.GetTrackRect(0), (video::Rect{2000, 2000, 8000, 8000}));
  EXPECT_EQ(At(c.left + 1, 100), 0xA4A4A4u);
  const video::Rect track = display_.FrameToCell(0, video::Rect{2000, 2000, 8000, 8000});
  const QRgb edge = At(track.left, (track.top + track.bottom) / 2);
  EXPECT_TRUE(edge == 0xFF0000u || edge == 0xFFFFFFu) << std::hex << edge;
}

TEST_F(OverlayTest, StalePictureShowsItsAgeAndARedOutlineUntilTheNextFrame) {
  constexpr QRgb kStale = 0xE02020;
  const video::Rect c = ShowSingleCell(300);
  display_.SelectCamera(5);  // keep the red selection frame off the cell
  display_.WatchCameras(0b1);
  const QRect badge(c.left + 100, c.top + 3, c.right - c.left - 200, 16);
  const int brightBefore = CountBright(badge);

  tick_ += 3000;  // not older than the limit yet
  display_.CheckStale();
  EXPECT_EQ(display_.StaleSeconds(0), -1);
  EXPECT_NE(At(c.left + 1, 100), kStale);
  tick_ += 9500;
  display_.CheckStale();
  EXPECT_EQ(display_.StaleSeconds(0), 12);
  EXPECT_EQ(display_.StaleSeconds(1), -1) << "a camera not watched never shows an age";
  EXPECT_EQ(At(c.left + 1, 100), kStale);
  EXPECT_EQ(At(c.right - 2, 100), kStale);
  EXPECT_GT(CountBright(badge), brightBefore + 10) << "the age is written";

  display_.OnFrame(0, false);
  EXPECT_EQ(display_.StaleSeconds(0), -1);
  EXPECT_NE(At(c.left + 1, 100), kStale);

  // A camera that joins counts from then on, across the tick counter's wrap-around too; those
  // already watched keep their age.
  tick_ = 0xFFFFFF00u;
  display_.WatchCameras(0b11);
  tick_ += 0x200;
  EXPECT_EQ(display_.StaleSeconds(1), -1);
  EXPECT_GT(display_.StaleSeconds(0), 60);
  display_.SetStaleLimit(0);
  EXPECT_EQ(display_.StaleSeconds(1), 0);
  display_.WatchCameras(0);
  EXPECT_EQ(display_.StaleSeconds(1), -1);
}

TEST_F(DisplayTest, TextColourWrapsIntoTheTable) {
  display_.SetTextColor(2, 13);
  EXPECT_EQ(display_.GetTextColor(2), 3);
  display_.SetTextColor(2, -1);
  EXPECT_EQ(display_.GetTextColor(2), 9);
  display_.SetContrast(2, 250);
  EXPECT_EQ(display_.GetContrast(2), 100);
  display_.SetTextColor(16, 1);
  EXPECT_EQ(display_.GetTextColor(16), 0);
}

TEST(FrameRateTest, FirstRateAfterMoreThanTwoSecondsAndNeverBelowOne) {
  FrameRate rate;
  uint32_t now = 0xFFFFF000u;  // wraps around during the run
  for (int i = 0; i <= 50; ++i, now += 40) rate.Count(now);  // exactly 2000 ms of 25 fps
  EXPECT_EQ(rate.fps, 0);
  rate.Count(now);
  EXPECT_EQ(rate.fps, 26);  // 52 frames in 2040 ms, rounded up

  FrameRate slow;
  slow.Count(0);
  slow.Count(2500);
  EXPECT_EQ(slow.fps, 1);
}

// --- Regions and zoom ---

TEST_F(DisplayTest, ZoomRectTakesTheQuarterPixelsAndFillsTheCell) {
  // Inside 175..527 x 143..431 green, outside red.
  source_.Paint(0, 704, 576, [](int x, int y) {
    return x >= 175 && x <= 527 && y >= 143 && y <= 431 ? test::kGreen : test::kRed;
  });
  std::vector<uint8_t> region;
  ASSERT_TRUE(display_.ExtractRegion(0, {2500, 2500, 7500, 7500}, region));
  video::BitmapInfoHeader header;
  std::memcpy(&header, region.data(), sizeof header);
  EXPECT_EQ(header.biWidth, 353);
  EXPECT_EQ(header.biHeight, 289);
  const uint8_t* bits = region.data() + sizeof header;
  for (int i = 0; i < 353 * 3; i += 3) ASSERT_EQ(bits[i + 1], 255) << i;
  EXPECT_FALSE(display_.ExtractRegion(0, {5000, 5000, 5000, 9000}, region) && header.biWidth == 0);

  AttachTo({0, 0, 799, 599});
  display_.SetLayout(1);
  display_.SelectCamera(5);
  display_.SetShowName(0, false);
  display_.SetShowTime(0, false);
  display_.SetZoomRect(0, {2500, 2500, 7500, 7500});
  for (const QPoint p : {QPoint(4, 4), QPoint(790, 4), QPoint(4, 590), QPoint(790, 590), QPoint(400, 300)}) {
    EXPECT_TRUE(Near(At(p.x(), p.y()), 0x00FF00, 40)) << p.x() << "," << p.y();
  }
  // Mapping through the zoom: its corners are the cell's corners.
  EXPECT_EQ(display_.FrameToCell(0, QPoint(2500, 2500)), QPoint(3, 3));
  EXPECT_EQ(display_.CellToFrame(0, QPoint(3, 3)), QPoint(2500, 2500));
}

// --- Settings ---

TEST_F(DisplayTest, SaveReplacesTheWholeKeyAndLoadRestores) {
  settings::SettingsDatabase db;
  db.OpenInMemory();
  settings::SettingsKey(db, "MainDisplay\\Old").WriteDword("Stale", 1);
  settings::SettingsKey(db, "MainDisplay").WriteDword("Legacy", 1);
  display_.SetLayout(9);
  display_.SetName(4, "Gate");
  display_.SetSharpen(true);
  display_.PlaceCamera(9, 4, 0);
  ASSERT_TRUE(display_.SaveSettings(db, "MainDisplay"));

  std::vector<std::string> keys;
  for (const std::string& k : db.Export().keys) {
    if (k.find("\\MainDisplay\\") != std::string::npos) keys.push_back(k);
  }
  EXPECT_EQ(keys.size(), 33u);
  EXPECT_EQ(settings::SettingsKey(db, "MainDisplay").ValueNames(), std::vector<std::string>{"Layout"});
  EXPECT_EQ(settings::SettingsKey(db, "MainDisplay\\Camera15").ValueNames().size(), 6u);

  VideoDisplay loaded;
  loaded.LoadSettings(db, "MainDisplay");
  EXPECT_EQ(loaded.GetLayout(), 9);
  EXPECT_EQ(loaded.GetName(4), "Gate");
  EXPECT_EQ(loaded.GetName(5), "Camera 6");
  EXPECT_TRUE(loaded.GetSharpen());
  EXPECT_EQ(loaded.CameraInCell(9, 0), 4);

  settings::SettingsKey(db, "MainDisplay\\Camera03").WriteDword("TextColor", 13);
  loaded.LoadSettings(db, "MainDisplay");
  EXPECT_EQ(loaded.GetTextColor(3), 3);
}

// --- Threads ---

TEST_F(DisplayTest, TextsFirstDrawnOnAThreadThatHasEndedAreDrawnAgainOnAnother) {
  AttachTo({0, 0, 799, 599});
  display_.SetLayout(1);
  source_.Fill(0, 352, 288, test::kBlue);
  source_.SetText(0, "Door opened");
  std::thread([this] { display_.OnFrame(0, false); }).join();
  const QImage drawnThere = display_.Grab();
  const QRect nameArea(10, 10, 100, 10);
  ASSERT_LT(Count(nameArea, 0x0000FF), nameArea.width() * nameArea.height());  // the camera's name
  display_.RedrawAll();
  EXPECT_TRUE(display_.Grab() == drawnThere);
}

TEST_F(DisplayTest, FramesFromTwoThreadsWhileTheLayoutChanges) {
  AttachTo({0, 0, 639, 479});
  for (int camera = 0; camera < 16; ++camera) source_.Fill(camera, 176, 144, test::Gray(camera * 10));
  std::atomic<bool> stop{false};
  auto feed = [&](int first) {
    for (int n = 0; !stop.load(); ++n) display_.OnFrame(first + n % 8, n % 3 == 0);
  };
  std::thread a(feed, 0), b(feed, 8);
  for (int round = 0; round < 60; ++round) {
    display_.SetLayout(round % 17);
    display_.PlaceCamera(round % 16, (round * 7) % 16);
    display_.SelectCamera(round % 16);
    if (round % 10 == 0) display_.Attach(&target_, {0, 0, 639 - round, 479}, kBackground);
    if (round % 20 == 0) display_.SingleView();
  }
  stop = true;
  a.join();
  b.join();

  // What the threads left is exactly what the final layout looks like when drawn afresh: no cell
  // of an earlier layout, no picture torn by a concurrent change.
  const QImage shown = display_.Grab();
  ASSERT_FALSE(shown.isNull());
  display_.RedrawAll();
  EXPECT_TRUE(display_.Grab() == shown);
  // And every camera of the final layout shows its own picture in its cell.
  const uint32_t visible = display_.VisibleCameras();
  ASSERT_NE(visible, 0u);
  for (int camera = 0; camera < 16; ++camera) {
    if (!(visible & (1u << camera))) continue;
    const video::Rect c = display_.CellRect(camera);
    const QRgb grey = qRgb(camera * 10, camera * 10, camera * 10);
    EXPECT_TRUE(Near(At((c.left + c.right) / 2, (c.top + c.bottom) / 2), grey)) << "camera " << camera;
  }
}

}  // namespace
}  // namespace strixc::display
