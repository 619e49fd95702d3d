#include "browser/archive_map_control.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <climits>
#include <thread>

#include "archive/archive_time.h"
#include "support/time_zone.h"

namespace strixc::browser {
namespace {

using archive::kUnitsPerSecond;
constexpr uint64_t kSecond = kUnitsPerSecond;
constexpr uint64_t kHour = 3600 * kSecond;
constexpr uint64_t kDay = archive::kUnitsPerDay;
// 1000 columns from x = 5 to 1004, 116 rows from y = 5 to 120, as in the browser.
const QRect kRect(QPoint(5, 5), QPoint(1004, 120));
const uint64_t kT0 = *archive::TimeOfFields({2026, 12, 7, 10, 0, 0, 0});

constexpr QRgb kGreen = 0x40C440, kGreenLit = 0x60FF60, kYellow = 0xFFFF80, kYellowLit = 0xFFFFC4;
constexpr QRgb kRed = 0xFF4040, kRedLit = 0xFF8080, kNone = 0x4040A4, kNoneLit = 0x6060C4;

class Host : public QObject, public MapHost {
 public:
  void OnMapNeedsData() override { ++needsData; }
  void OnMapNeedsTitle(uint64_t time) override { titleRequests.push_back(time); }
  void OnMapCursorText(const QString& text) override { cursorText = text; }
  void OnMapPicture(const QImage& picture, const QRect& area) override {
    this->picture = picture;
    ++pictures;
  }

  int needsData = 0;
  std::vector<uint64_t> titleRequests;
  QString cursorText;
  QImage picture;
  int pictures = 0;
};

class MapTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(map_.Create(kRect, &host_, &host_));
    Pump();
  }
  static void Pump() { QCoreApplication::processEvents(); }
  // One column per second: column k shows kT0 + k s.
  void ShowSeconds() {
    map_.SetView(kT0, kT0 + 999 * kSecond);
    Pump();
  }
  static uint64_t Column(int k) { return kT0 + static_cast<uint64_t>(k) * kSecond; }
  // Four equal quarters over the view: camera 0 recorded; recorded + set-event; all three; none.
  void FillQuarters() {
    const uint32_t recorded[] = {1, 1, 1, 0}, yellow[] = {0, 1, 1, 0}, red[] = {0, 0, 1, 0};
    map_.SetMapData(kT0, kT0 + 1000 * kSecond, recorded, red, yellow);
    Pump();
  }
  QRgb Pixel(int x, int y) { return map_.Picture().pixel(x - kRect.left(), y - kRect.top()) & 0xFFFFFF; }
  QRgb RowPixel(int camera, int column) {
    return Pixel(kRect.left() + column, map_.RowRect(camera).center().y());
  }

  Host host_;
  ArchiveMapControl map_;
};

TEST_F(MapTest, PositionsAtBothEndsAndWithoutAView) {
  EXPECT_EQ(map_.ColumnOf(kT0), 0);
  EXPECT_EQ(map_.TimeAt(500), 0u);

  ShowSeconds();
  EXPECT_EQ(map_.GetColumns(), 1000);
  EXPECT_EQ(map_.ColumnOf(kT0), 5);
  EXPECT_EQ(map_.ColumnOf(Column(999)), 1004);
  EXPECT_EQ(map_.ColumnOf(Column(500) + kSecond / 2), 505);
  EXPECT_EQ(map_.TimeAt(5), kT0);
  EXPECT_EQ(map_.TimeAt(1004), Column(999));
  EXPECT_EQ(map_.TimeAt(505), Column(500));
  EXPECT_EQ(map_.TimeAt(4), kT0 - kSecond);
  // Far outside: no overflow, the answers stay on their side.
  EXPECT_GT(map_.ColumnOf(UINT64_MAX), 1004);
  EXPECT_LT(map_.ColumnOf(1), 5);
  // Views at both ends of time draw their axis inside the view.
  const uint64_t latest = static_cast<uint64_t>(INT64_MAX) - 1'000'000;
  for (uint64_t span : {uint64_t{1'000'000}, kHour, 5 * kDay, 365 * kDay}) {
    for (uint64_t start : {uint64_t{1}, latest - span}) {
      map_.SetView(start, start + span);
      ASSERT_EQ(map_.GetViewEnd(), start + span);
      for (const MapAxisLabel& label : map_.AxisLabels()) {
        EXPECT_GE(label.time, start);
        EXPECT_LE(label.time, start + span + 1);
      }
    }
  }
  map_.SetView(kT0, kT0 + 365 * kDay);
  EXPECT_EQ(map_.TimeAt(INT_MIN), 0u);
  EXPECT_EQ(map_.TimeAt(INT_MAX), static_cast<uint64_t>(INT64_MAX) - 1'000'000);
}

TEST_F(MapTest, SetViewRules) {
  map_.SetView(0, 0);
  Pump();
  EXPECT_EQ(map_.GetViewStart(), 1u);
  EXPECT_EQ(map_.GetViewEnd(), 1'000'001u);
  EXPECT_EQ(host_.needsData, 1);
  map_.SetView(0, 0);  // unchanged: no new request
  Pump();
  EXPECT_EQ(host_.needsData, 1);

  map_.SetView(kT0 + kHour, kT0);
  EXPECT_EQ(map_.GetViewStart(), kT0);
  EXPECT_EQ(map_.GetViewEnd(), kT0 + kHour);
  map_.SetView(kT0, kT0 + 10);
  EXPECT_EQ(map_.GetViewEnd(), kT0 + 1'000'000);
  map_.SetView(kT0, kT0 + 365 * kDay);
  EXPECT_EQ(map_.GetViewEnd(), kT0 + 365 * kDay);
  Pump();
  const int requests = host_.needsData;
  map_.SetView(kT0, kT0 + 366 * kDay);
  Pump();
  EXPECT_EQ(map_.GetViewEnd(), kT0 + 365 * kDay);
  EXPECT_EQ(host_.needsData, requests);

  // A new view forgets the old one's data and markers.
  ShowSeconds();
  FillQuarters();
  map_.AddBookmarks(std::vector<uint64_t>{Column(10)});
  ASSERT_EQ(map_.RecordedMasks()[0], 1u);
  map_.Shift(static_cast<int64_t>(kSecond));
  EXPECT_EQ(map_.GetViewStart(), Column(1));
  EXPECT_EQ(map_.RecordedMasks(), std::vector<uint32_t>(1000, 0));
  EXPECT_TRUE(map_.Markers().empty());
  map_.Shift(INT64_MIN);  // saturates at the start of time
  EXPECT_EQ(map_.GetViewStart(), 1u);
}

TEST_F(MapTest, MapDataFillsThePicturePieceByPiece) {
  ShowSeconds();
  std::vector<uint32_t> first(50), second(50), none(50, 0);
  for (uint32_t j = 0; j < 50; ++j) {
    first[j] = j;
    second[j] = 100 + j;
  }
  map_.SetMapData(Column(500), Column(1000), second, none, none);
  map_.SetMapData(kT0, Column(500), first, none, none);
  auto masks = map_.RecordedMasks();
  EXPECT_EQ(masks[0], 0u);
  EXPECT_EQ(masks[499], 49u);
  EXPECT_EQ(masks[500], 100u);
  EXPECT_EQ(masks[999], 149u);

  // A part starting half a column after a column's time leaves that column to the part before.
  map_.SetMapData(kT0, Column(499) + kSecond / 2, std::vector<uint32_t>(1, 7), none, none);
  map_.SetMapData(Column(499) + kSecond / 2, Column(1000), std::vector<uint32_t>(1, 9), none, none);
  masks = map_.RecordedMasks();
  EXPECT_EQ(masks[499], 7u);
  EXPECT_EQ(masks[500], 9u);

  // Finer than the columns: every column still gets its sample, the last ones included.
  std::vector<uint32_t> fine(2000);
  for (uint32_t j = 0; j < 2000; ++j) fine[j] = j;
  map_.SetMapData(kT0, Column(1000), fine, fine, fine);
  EXPECT_EQ(map_.RecordedMasks()[999], 1998u);
  EXPECT_EQ(map_.YellowMasks()[999], 1998u);

  // Ignored: reversed or empty intervals, intervals beside the view, missing samples.
  const std::vector<uint32_t> ones(10, 0xFFFF);
  map_.SetMapData(Column(1000), kT0, ones, ones, ones);
  map_.SetMapData(kT0, kT0, ones, ones, ones);
  map_.SetMapData(kT0 - 10 * kSecond, kT0 - kSecond, ones, ones, ones);
  map_.SetMapData(kT0, Column(1000), ones, ones, std::span<const uint32_t>());
  EXPECT_EQ(map_.RedMasks()[0], 0u);
  EXPECT_EQ(map_.RecordedMasks()[999], 1998u);
}

TEST_F(MapTest, RowColoursRedOverYellowOverGreenAndTheHighlightedRow) {
  EXPECT_EQ(RowPixel(0, 100), 0x4A4F55u);  // no view yet
  ShowSeconds();
  FillQuarters();
  EXPECT_EQ(RowPixel(0, 100), kGreen);
  EXPECT_EQ(RowPixel(0, 350), kYellow);
  EXPECT_EQ(RowPixel(0, 600), kRed);
  EXPECT_EQ(RowPixel(0, 900), kNone);
  EXPECT_EQ(RowPixel(1, 600), kNone);

  map_.SetSelectedRow(0);
  EXPECT_EQ(RowPixel(0, 100), kGreenLit);
  EXPECT_EQ(RowPixel(0, 350), kYellowLit);
  EXPECT_EQ(RowPixel(0, 600), kRedLit);
  EXPECT_EQ(RowPixel(0, 900), kNoneLit);
  EXPECT_EQ(RowPixel(1, 600), kNone);
  map_.SetSelectedRow(99);
  EXPECT_EQ(map_.SelectedRow(), -1);
  EXPECT_EQ(RowPixel(0, 100), kGreen);

  // Sixteen rows share 97 pixels with two-pixel gaps of background.
  EXPECT_EQ(map_.RowRect(0), QRect(5, 6, 1000, 5));
  EXPECT_EQ(map_.RowRect(1).top(), 13);
  EXPECT_EQ(Pixel(500, 11), 0x303030u);
  EXPECT_EQ(map_.RowAt(QPoint(500, 14)), 1);
  EXPECT_EQ(map_.RowAt(QPoint(500, 11)), -1);
  // Disabled rows give their room to the others at the next redraw.
  for (int c = 1; c < 16; ++c) map_.SetRowEnabled(c, false);
  map_.Redraw();
  EXPECT_EQ(map_.RowRect(0), QRect(5, 6, 1000, 96));
  EXPECT_TRUE(map_.RowRect(1).isEmpty());
  EXPECT_EQ(map_.RowAt(QPoint(500, 60)), 0);
  // Without rows: background, axis and markers only.
  map_.SetRowEnabled(0, false);
  map_.AddBookmarks(std::vector<uint64_t>{Column(300)});
  EXPECT_EQ(map_.RowAt(QPoint(500, 60)), -1);
  EXPECT_EQ(Pixel(5 + 100, 60), 0x303030u);
  EXPECT_EQ(Pixel(5 + 300, 60), 0xFFFFFFu);
  EXPECT_FALSE(map_.AxisLabels().empty());
}

TEST_F(MapTest, SelectionIsDrawnByXor) {
  ShowSeconds();
  FillQuarters();
  map_.SetSelection(Column(100), Column(200));
  EXPECT_EQ(RowPixel(0, 150), kGreen ^ 0xC4C400u);
  EXPECT_EQ(RowPixel(0, 100), kGreen ^ 0xFFFFFFu);  // the outline
  EXPECT_EQ(RowPixel(0, 50), kGreen);
  map_.SetSelection(0, 0);
  EXPECT_EQ(RowPixel(0, 150), kGreen);
}

TEST_F(MapTest, BookmarksSnapWithinThreePixelsAndTheNearerWins) {
  ShowSeconds();
  map_.AddBookmarks(std::vector<uint64_t>{Column(503), Column(500), kT0 - kHour});
  EXPECT_EQ(map_.Markers(), (std::vector<uint64_t>{Column(500), Column(503)}));
  EXPECT_EQ(map_.TimeAt(5 + 501), Column(500));
  EXPECT_EQ(map_.TimeAt(5 + 502), Column(503));
  EXPECT_EQ(map_.TimeAt(5 + 506), Column(506));  // three pixels away: no snap
  EXPECT_EQ(map_.TimeAt(5 + 497), Column(497));
  // The marker: white line, light-red sides.
  EXPECT_EQ(RowPixel(0, 500), 0xFFFFFFu);
  EXPECT_EQ(RowPixel(0, 499), 0xFF8080u);

  map_.InsertBookmark(Column(700));
  map_.InsertBookmark(Column(700));
  map_.InsertBookmark(kT0 + kDay);  // outside the view
  map_.RemoveBookmark(Column(503));
  EXPECT_EQ(map_.Markers(), (std::vector<uint64_t>{Column(500), Column(700)}));
}

TEST_F(MapTest, HoverTextAsksForAnUnknownTitleEachTime) {
  ShowSeconds();
  const uint64_t mark = Column(500);
  map_.AddBookmarks(std::vector<uint64_t>{mark});
  const QString plain = map_.HoverText(QPoint(5 + 100, 50));
  EXPECT_TRUE(plain.contains(" / "));
  Pump();
  EXPECT_TRUE(host_.titleRequests.empty());

  EXPECT_TRUE(map_.HoverText(QPoint(5 + 501, 50)).endsWith("       ??? "));
  map_.HoverText(QPoint(5 + 500, 50));
  Pump();
  EXPECT_EQ(host_.titleRequests, (std::vector<uint64_t>{mark, mark}));
  map_.HoverText(QPoint(5 + 100, 50));
  Pump();
  EXPECT_EQ(host_.titleRequests.size(), 2u);

  map_.SetTitle(mark, "Gate \xC3\xB3");
  EXPECT_TRUE(map_.HoverText(QPoint(5 + 500, 50)).endsWith(QString::fromUtf8("      Gate \xC3\xB3")));
  Pump();
  EXPECT_EQ(host_.titleRequests.size(), 2u);
  map_.InsertBookmark(mark);  // set again: its title is asked for anew
  EXPECT_EQ(map_.Title(mark), " ??? ");
  EXPECT_EQ(map_.Title(Column(10)), "");

  map_.SetSelection(Column(200), Column(100));
  const QString range = map_.HoverText(QPoint(5 + 300, 50));
  EXPECT_EQ(range.count(" / "), 2);
  EXPECT_TRUE(range.contains(" - "));
}

TEST_F(MapTest, CursorMovesWithoutRepaintingRowsAndRecentresOutsideTheView) {
  ShowSeconds();
  FillQuarters();
  const QImage before = map_.Picture();
  map_.SetCursor(Column(500));
  Pump();
  EXPECT_EQ(Pixel(505, 20), 0xFFFFFFu);
  EXPECT_EQ(Pixel(504, 20), 0u);
  EXPECT_EQ(Pixel(506, 20), 0u);
  EXPECT_EQ(Pixel(505, 120 - 12), before.pixel(500, 115 - 12) & 0xFFFFFF);  // stops above the axis
  EXPECT_TRUE(host_.cursorText.contains(" / "));
  EXPECT_EQ(host_.picture, map_.Picture());

  const int pictures = host_.pictures;
  map_.SetCursor(Column(500) + kSecond / 2);  // same column: stored only
  Pump();
  EXPECT_EQ(map_.GetCursor(), Column(500) + kSecond / 2);
  EXPECT_EQ(host_.pictures, pictures);

  map_.SetCursor(Column(600));
  EXPECT_EQ(map_.Picture().copy(495, 0, 10, 116), before.copy(495, 0, 10, 116));
  EXPECT_EQ(Pixel(605, 20), 0xFFFFFFu);

  const int requests = host_.needsData;
  map_.SetCursor(Column(2000));
  Pump();
  EXPECT_EQ(map_.GetViewStart(), Column(2000) - 999 * kSecond / 2);
  EXPECT_EQ(map_.GetViewEnd() - map_.GetViewStart(), 999 * kSecond);
  EXPECT_EQ(host_.needsData, requests + 1);
  EXPECT_EQ(map_.RecordedMasks()[0], 0u);
  EXPECT_EQ(map_.ColumnOf(Column(2000)), 5 + 499);

  map_.SetCursor(UINT64_MAX);  // far past the end of time: the view stops there
  EXPECT_EQ(map_.GetViewEnd(), static_cast<uint64_t>(INT64_MAX) - 1'000'000);
  map_.SetCursor(0);
  Pump();
  EXPECT_EQ(host_.cursorText, "Cursor not set");
}

TEST_F(MapTest, ResetStopsDrawingAndPosting) {
  ShowSeconds();
  map_.Reset();
  map_.SetView(kT0, kT0 + kHour);
  map_.SetCursor(kT0 + 10);
  Pump();
  EXPECT_TRUE(map_.Picture().isNull());
  EXPECT_EQ(host_.needsData, 1);
  EXPECT_FALSE(map_.Create(QRect(0, 0, 1, 100), &host_, &host_));
  EXPECT_EQ(map_.GetColumns(), 0);
}

TEST_F(MapTest, TimerThreadAndWindowShareTheControl) {
  ShowSeconds();
  FillQuarters();
  std::atomic<bool> done{false};
  std::thread source([&] {
    for (int k = 1; k < 300; ++k) {
      map_.SetCursor(Column(k));
      const uint32_t mask[] = {static_cast<uint32_t>(k)};
      map_.SetMapData(Column(k), Column(k + 1), mask, mask, mask);
    }
    done = true;
  });
  while (!done) {
    map_.HoverText(QPoint(300, 50));
    const QImage picture = map_.Picture();
    ASSERT_EQ(picture.width(), 1000);
    Pump();
  }
  source.join();
  EXPECT_EQ(map_.GetCursor(), Column(299));
  EXPECT_EQ(map_.RedMasks()[298], 298u);
  EXPECT_EQ(Pixel(5 + 299, 20), 0xFFFFFFu);
  EXPECT_EQ(Pixel(5 + 298, 20), 0u);
  for (int k = 1; k < 297; ++k) ASSERT_NE(Pixel(5 + k, 20), 0u) << k;  // every earlier cursor was erased
  Pump();
  EXPECT_EQ(host_.picture, map_.Picture());
}

// ---- The time axis ----

class MapAxisTest : public MapTest {
 protected:
  test::ScopedTimeZone zone_{"Europe/Warsaw"};

  static uint64_t Wall(int month, int day, int hour) {
    return *archive::TimeOfFields({2026, month, day, hour, 0, 0, 0});
  }
  static QString Clock(uint64_t wall) {
    return QString::fromStdString(archive::FormatLocal(wall, "%I:%M:%S %p"));
  }
  // The labels' texts, and that each stands at its own instant.
  std::vector<QString> Labels() {
    std::vector<QString> texts;
    for (const MapAxisLabel& label : map_.AxisLabels()) {
      EXPECT_EQ(label.x, map_.ColumnOf(label.time));
      texts.push_back(label.text);
    }
    return texts;
  }
};

// Each wall-clock hour once and in order: the repeated 02:00 at its first (summer-time) instant.
TEST_F(MapAxisTest, HoursAcrossTheAutumnChangeShowTheRepeatedHourOnce) {
  const uint64_t first = archive::FromWallClock(Wall(10, 25, 0));
  map_.SetView(first, first + 8 * kHour);  // 00:00 summer time to 07:00 winter time
  const auto labels = Labels();
  ASSERT_EQ(labels.size(), 8u);
  EXPECT_EQ(labels[0], Clock(Wall(10, 25, 0)) + " / 25.10.2026");
  for (size_t i = 1; i < 8; ++i) EXPECT_EQ(labels[i], Clock(Wall(10, 25, static_cast<int>(i)))) << i;
  const auto axis = map_.AxisLabels();
  const uint64_t instants[] = {0, 1, 2, 4, 5, 6, 7, 8};
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(axis[i].time, first + instants[i] * kHour) << i;

  // Five-minute ticks over the repeated hour (02:30 summer time to 02:30 winter time): those of
  // the second pass, which read earlier than 02:55, are left out.
  map_.SetView(first + 2 * kHour + kHour / 2, first + 3 * kHour + kHour / 2);
  const auto repeated = Labels();
  ASSERT_EQ(repeated.size(), 6u);
  for (size_t i = 1; i < 6; ++i) {
    EXPECT_EQ(repeated[i], Clock(Wall(10, 25, 2) + (30 + 5 * i) * 60 * kSecond)) << i;
  }
}

TEST_F(MapAxisTest, HoursAcrossTheSpringChangeSkipTheMissingHour) {
  const uint64_t first = archive::FromWallClock(Wall(3, 29, 0));
  map_.SetView(first, first + 8 * kHour);
  const auto labels = Labels();
  ASSERT_EQ(labels.size(), 9u);
  const int hours[] = {0, 1, 3, 4, 5, 6, 7, 8, 9};
  for (size_t i = 1; i < 9; ++i) EXPECT_EQ(labels[i], Clock(Wall(3, 29, hours[i]))) << i;
}

TEST_F(MapAxisTest, TheWholeLongDayAndMonthsKeepTheirWallClockTicks) {
  const archive::ArchiveDay day = archive::ArchiveDayOf(archive::FromWallClock(Wall(10, 25, 12)));
  ASSERT_EQ(day.last + 1 - day.first, 25 * kHour);
  map_.SetView(day.first, day.last);
  auto labels = Labels();
  ASSERT_EQ(labels.size(), 5u);  // 00, 06, 12, 18 and the next midnight
  const auto axis = map_.AxisLabels();
  EXPECT_EQ(axis[1].time, archive::FromWallClock(Wall(10, 25, 6)));
  EXPECT_EQ(labels[1], Clock(Wall(10, 25, 6)));
  EXPECT_EQ(axis[4].time, day.last + 1);

  // Thirty-one-day steps fall on the first of each month at midnight, summer or winter.
  map_.SetView(archive::FromWallClock(Wall(1, 10, 0)), archive::FromWallClock(Wall(11, 10, 0)));
  labels = Labels();
  ASSERT_EQ(labels.size(), 10u);
  for (const MapAxisLabel& label : map_.AxisLabels()) {
    const archive::TimeFields f = archive::FieldsOfTime(archive::ToWallClock(label.time));
    EXPECT_EQ(f.day, 1);
    EXPECT_EQ(f.hour, 0);
  }
  EXPECT_EQ(labels[2], "01.04.2026");
}

}  // namespace
}  // namespace strixc::browser
