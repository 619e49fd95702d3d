#include "browser/browser_commands.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <bit>
#include <string>
#include <vector>

#include "archive/archive_time.h"
#include "browser/browser_clock.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "support/time_zone.h"

namespace strixc::browser {
namespace {

using Move = BrowserCommands::ViewMove;
constexpr uint64_t kSecond = archive::kUnitsPerSecond;
constexpr uint64_t kHour = 3600 * kSecond;
const QRect kMapRect(QPoint(5, 5), QPoint(1004, 120));  // 1000 columns
const video::Rect kVideoArea{0, 0, 799, 599};
const uint64_t kT0 = *archive::TimeOfFields({2026, 12, 7, 10, 0, 0, 0});

// A playback source that notes each call the browser makes.
class FakeSource : public playback::PlaybackSource {
 public:
  ~FakeSource() override { ShutdownTimer(); }
  bool Open(QObject*, playback::PlaybackReceiver*) override { return Note("Open"); }
  void Close() override { Note("Close"); }
  void SendRequest(uint32_t) override {}
  void SeekCamera(int camera, uint64_t time) override {
    Note("Seek " + std::to_string(camera) + " " + std::to_string(time));
  }
  void Stop() override { Note("Stop"); }
  void Play() override { Note("Play"); }
  void PlayDouble() override { Note("PlayDouble"); }
  void StartMode(int, int) override {}
  void FastForward() override { Note("FastForward"); }
  void FastBackward() override { Note("FastBackward"); }
  void StepForward() override { Note("StepForward"); }
  void StepBackward() override { Note("StepBackward"); }
  void SetCameraMask(uint32_t mask) override { masks.push_back(mask); }
  void SetMotionDetection(int camera, int sensitivity, const video::Rect& area) override {
    motion.push_back({camera, sensitivity, area});
  }
  void FillTimeline(uint64_t t0, uint64_t t1, int width) override {
    Note("Fill " + std::to_string(t0) + " " + std::to_string(t1) + " " + std::to_string(width));
  }
  int HighestCamera() override { return highest; }
  archive::ArchiveDatabase* Database() override { return nullptr; }
  uint64_t Earliest() override { return earliest; }
  uint64_t Latest() override { return latest; }
  bool DayHasRecordings(uint64_t) override { return false; }
  bool AddBookmark(uint64_t time, const std::string& title) override {
    Note("Add " + std::to_string(time) + " " + title);
    return !refuseBookmarks;
  }
  bool DeleteBookmark(uint64_t time) override {
    Note("Delete " + std::to_string(time));
    return !refuseBookmarks;
  }
  void ShowBookmarkText(uint64_t time) override { Note("Title " + std::to_string(time)); }
  void NextBookmark(uint64_t time) override { Note("Next " + std::to_string(time)); }
  void PrevBookmark(uint64_t time) override { Note("Prev " + std::to_string(time)); }
  bool StartExport(QObject*, const std::string& file, int camera, uint64_t, uint64_t, int64_t tag) override {
    Note("Export " + file + " " + std::to_string(camera) + " " + std::to_string(tag));
    return exportStarts;
  }
  void CancelExport() override {}
  void OnTimer() override {}

  bool Note(const std::string& call) {
    calls.push_back(call);
    return true;
  }
  bool Called(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }

  struct Motion {
    int camera, sensitivity;
    video::Rect area;
  };
  std::vector<std::string> calls;
  std::vector<uint32_t> masks;
  std::vector<Motion> motion;
  int highest = 15;
  bool refuseBookmarks = false;
  uint64_t earliest = 0, latest = 0;
  bool exportStarts = true;
};

class FakeView : public BrowserView {
 public:
  void ShowMessage(int textId) override { messages.push_back(textId); }
  void Beep() override { ++beeps; }
  void StateChanged() override {}
  void CameraSelected(int camera) override { selected = camera; }
  void CursorText(const QString& text) override { cursor = text; }
  void MapPicture(const QImage&, const QRect&) override {}
  bool AskDays(uint64_t, uint64_t, uint64_t* from, uint64_t* to) override {
    *from = daysFrom;
    *to = daysTo;
    return daysFrom != 0;
  }
  bool AskBookmarkTitle(uint64_t, const QString& initialTitle, QString* title) override {
    titleOffered = initialTitle;
    ++titleAsked;
    *title = titleAnswer;
    return titleOk;
  }
  bool AskExport(int, uint64_t, uint64_t, std::string* file, int* fps) override {
    *file = "out.avi";
    *fps = 12;
    return true;
  }
  void RunBackup(archive::ArchiveDatabase&, uint64_t, uint64_t, uint32_t) override { ++backups; }
  void ExportProgress(int percent) override { progress = percent; }
  void SetInputEnabled(bool enabled) override { inputEnabled = enabled; }

  std::vector<int> messages;
  int beeps = 0, selected = -1, titleAsked = 0, backups = 0, progress = -1;
  bool inputEnabled = true, titleOk = true;
  QString cursor, titleOffered, titleAnswer = QStringLiteral("Gate");
  uint64_t daysFrom = 0, daysTo = 0;
};

class NullTarget : public display::DisplayTarget {
 public:
  void RepaintArea(const video::Rect&) override {}
};

class Commands : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display_.Attach(&target_, kVideoArea, 0x4A4F55));
    ASSERT_TRUE(commands_.Open(kMapRect));
    Pump();
  }
  void TearDown() override {
    commands_.Close();
    display_.Attach(nullptr, {}, 0);
  }
  static void Pump() { QCoreApplication::processEvents(); }
  void ShowSeconds() {  // one column per second from kT0
    map_.SetView(kT0, kT0 + 999 * kSecond);
    Pump();
  }
  // The point of camera `camera`'s cell that shows frame units (fx, fy).
  QPoint CellPoint(int camera, int fx, int fy) { return display_.FrameToCell(camera, QPoint(fx, fy)); }
  QPoint RowPoint(int camera, int column) { return {kMapRect.left() + column, map_.RowRect(camera).center().y()}; }

  NullTarget target_;
  display::VideoDisplay display_;
  ArchiveMapControl map_;
  FakeSource source_;
  FakeView view_;
  BrowserCommands commands_{&source_, &display_, &map_, &view_};
};

// ---- Camera count and opening.

TEST(CameraCount, CountsEveryCameraPresentInGroupsOfFour) {
  EXPECT_EQ(BrowserCommands::CameraCountFor(0), 4);
  EXPECT_EQ(BrowserCommands::CameraCountFor(3), 4);
  // The camera with index 4 is the fifth: it needs a second group.
  EXPECT_EQ(BrowserCommands::CameraCountFor(4), 8);
  EXPECT_EQ(BrowserCommands::CameraCountFor(8), 12);
  EXPECT_EQ(BrowserCommands::CameraCountFor(12), 16);
  EXPECT_EQ(BrowserCommands::CameraCountFor(15), 16);
  EXPECT_EQ(BrowserCommands::CameraCountFor(-7), 4);
  EXPECT_EQ(BrowserCommands::CameraCountFor(99), 16);
}

TEST_F(Commands, OpeningShowsTodayWithLayoutSevenAndSendsItsCameras) {
  EXPECT_EQ(source_.calls.front(), "Open");
  EXPECT_EQ(commands_.LayoutButton(), 7);
  ASSERT_FALSE(source_.masks.empty());
  EXPECT_EQ(source_.masks.back(), display_.VisibleCameras());
  const archive::ArchiveDay today = WholeDayOf(NowOn(true), true);
  EXPECT_EQ(map_.GetViewStart(), today.first);
  EXPECT_EQ(map_.GetViewEnd(), today.last);
  // The new view asked for its data.
  EXPECT_TRUE(source_.Called("Fill " + std::to_string(today.first) + " " + std::to_string(today.last) + " 1000"));
  EXPECT_EQ(commands_.SummaryText(), shell::Tr(shell::text::kNoRecordings));
}

TEST_F(Commands, SummaryCountsWholeDaysAndHours) {
  source_.earliest = kT0;
  source_.latest = kT0 + 2 * archive::kUnitsPerDay + 5 * kHour + 59 * kSecond;
  ASSERT_TRUE(commands_.Open(kMapRect));
  EXPECT_TRUE(commands_.SummaryText().endsWith(QStringLiteral("2 day(s), 5 hour(s)")))
      << commands_.SummaryText().toStdString();
}

TEST_F(Commands, ClosingResetsTheMapAndTheCamerasAdjustments) {
  display_.SetContrast(2, 40);
  display_.SetAreaRect(2, {100, 100, 5000, 5000});
  display_.SetHighlightedCamera(2);
  commands_.Close();
  EXPECT_EQ(source_.calls.back(), "Close");
  EXPECT_EQ(map_.GetColumns(), 0);
  EXPECT_EQ(display_.GetContrast(2), 0);
  EXPECT_TRUE(display_.GetAreaRect(2).Empty());
  EXPECT_EQ(display_.GetHighlightedCamera(), -1);
  // Notifications that arrive after closing change nothing.
  commands_.OnPlaybackPosition(kT0);
  EXPECT_EQ(map_.GetCursor(), 0u);
  commands_.OnPlaybackStatus(playback::kStatusExportFinished, playback::kExportCancelled);
  EXPECT_TRUE(view_.messages.empty());
}

// ---- The visible period.

TEST(ViewMoves, MoveByHalvesAndEighthsAndZoomByQuarters) {
  const uint64_t s = 1'000'000, e = s + 800;
  EXPECT_EQ(BrowserCommands::MovedView(Move::kEarlierHalf, s, e), std::pair(s - 400, e - 400));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kEarlierEighth, s, e), std::pair(s - 100, e - 100));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kLaterEighth, s, e), std::pair(s + 100, e + 100));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kLaterHalf, s, e), std::pair(s + 400, e + 400));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kZoomIn, s, e), std::pair(s + 200, e - 200));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kZoomOut, s, e), std::pair(s - 400, e + 400));
}

TEST(ViewMoves, TinySpansStillMoveAndTooSmallZoomInDoesNothing) {
  const uint64_t s = 1'000'000;
  // A step below 2 becomes 1.
  EXPECT_EQ(BrowserCommands::MovedView(Move::kZoomOut, s, s + 1), std::pair(s - 1, s + 2));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kEarlierEighth, s, s + 3), std::pair(s - 1, s + 2));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kLaterHalf, s, s + 3), std::pair(s + 1, s + 4));
  EXPECT_EQ(BrowserCommands::MovedView(Move::kZoomIn, s, s + 3), std::nullopt);
  EXPECT_EQ(BrowserCommands::MovedView(Move::kZoomIn, s, s + 4), std::pair(s + 1, s + 3));
  // Earlier than the start of time stops there instead of wrapping round.
  EXPECT_EQ(BrowserCommands::MovedView(Move::kEarlierHalf, 100, 1000), std::pair(uint64_t{0}, uint64_t{550}));
}

TEST_F(Commands, ViewCommandsGoThroughTheMap) {
  ShowSeconds();
  commands_.MoveView(Move::kLaterHalf);
  EXPECT_EQ(map_.GetViewStart(), kT0 + 999 * kSecond / 2);
  commands_.MoveView(Move::kZoomOut);
  EXPECT_EQ(map_.GetViewEnd() - map_.GetViewStart(), 2 * 999 * kSecond);
  // The wheel zooms in around the pointer: the time under it stays put.
  ShowSeconds();
  const uint64_t under = map_.TimeAt(kMapRect.left() + 250);
  commands_.WheelZoom(kMapRect.left() + 250, 1);
  EXPECT_LT(map_.GetViewEnd() - map_.GetViewStart(), 999 * kSecond);
  EXPECT_NEAR(static_cast<double>(map_.TimeAt(kMapRect.left() + 250)), static_cast<double>(under), 2.0 * kSecond);
  // A middle-button drag 100 columns to the right shows 100 s earlier.
  ShowSeconds();
  commands_.PanStart(500);
  commands_.PanMove(600);
  commands_.PanEnd();
  EXPECT_EQ(map_.GetViewStart(), kT0 - 100 * kSecond);
}

TEST_F(Commands, WholeDayAndCalendarShowWholeDays) {
  map_.SetView(kT0 + kHour, kT0 + 2 * kHour);
  commands_.ShowWholeDay();
  const uint64_t midnight = kT0 - 10 * kHour;
  EXPECT_EQ(map_.GetViewStart(), midnight);
  EXPECT_EQ(map_.GetViewEnd(), midnight + archive::kUnitsPerDay - 1);

  view_.daysFrom = kT0 + archive::kUnitsPerDay;
  view_.daysTo = kT0 - archive::kUnitsPerDay;  // reversed: still the two days and the one between
  commands_.Calendar();
  EXPECT_EQ(source_.calls.back(), "Stop");
  EXPECT_EQ(map_.GetViewStart(), midnight - archive::kUnitsPerDay);
  EXPECT_EQ(map_.GetViewEnd(), midnight + 2 * archive::kUnitsPerDay - 1);
}

TEST(WholeDay, ADaylightSavingDayOfTheLocalArchiveIsItsWholeWallClockDay) {
  test::ScopedTimeZone warsaw("Europe/Warsaw");
  // The archive's clock is standard time (UTC+1 in Warsaw): midnight of the wall clock in summer
  // is 23:00 of the day before on the archive's clock.
  const uint64_t spring = archive::FromWallClock(*archive::TimeOfFields({2026, 3, 29, 12, 0, 0, 0}));
  const archive::ArchiveDay short_day = WholeDayOf(spring, false);
  EXPECT_EQ(short_day.first, *archive::TimeOfFields({2026, 3, 29, 0, 0, 0, 0}));
  EXPECT_EQ(short_day.last - short_day.first + 1, 23 * kHour);
  const uint64_t autumn = archive::FromWallClock(*archive::TimeOfFields({2026, 10, 25, 12, 0, 0, 0}));
  const archive::ArchiveDay long_day = WholeDayOf(autumn, false);
  EXPECT_EQ(long_day.first, *archive::TimeOfFields({2026, 10, 24, 23, 0, 0, 0}));
  EXPECT_EQ(long_day.last - long_day.first + 1, 25 * kHour);
  // Every time of the day maps to that day, the first and last included.
  EXPECT_EQ(WholeDayOf(long_day.first, false).first, long_day.first);
  EXPECT_EQ(WholeDayOf(long_day.last, false).first, long_day.first);
  // A server's times are already the wall clock: always 24 hours.
  const archive::ArchiveDay wall = WholeDayOf(*archive::TimeOfFields({2026, 3, 29, 12, 0, 0, 0}), true);
  EXPECT_EQ(wall.last - wall.first + 1, archive::kUnitsPerDay);
  EXPECT_EQ(WholeDayOf(0, false).first, 0u);
}

// ---- Layouts and cameras.

TEST_F(Commands, EachLayoutButtonSendsTheCamerasItShows) {
  std::vector<uint32_t> masks;
  for (int k = 1; k <= 7; ++k) {
    source_.masks.clear();
    commands_.SelectLayout(k);
    ASSERT_EQ(source_.masks.size(), 1u);
    const uint32_t mask = source_.masks.back();
    EXPECT_EQ(mask, display_.VisibleCameras());
    for (int c = 0; c < 16; ++c) EXPECT_EQ(map_.RowRect(c).isEmpty(), !((mask >> c) & 1u)) << k << " " << c;
    masks.push_back(mask);
  }
  EXPECT_EQ(std::popcount(masks.front()), 1);
  EXPECT_EQ(masks.back(), 0xFFFFu);
  EXPECT_EQ(commands_.LayoutButton(), 7);
}

TEST_F(Commands, DoubleClickShowsOneCameraAndDragSwapsCells) {
  commands_.SelectLayout(2);
  const uint32_t before = display_.VisibleCameras();
  ASSERT_GE(std::popcount(before), 2);
  const int a = std::countr_zero(before);
  const int b = std::countr_zero(before & (before - 1));
  const int cellA = display_.CellOfCamera(a), cellB = display_.CellOfCamera(b);
  commands_.VideoPress(CellPoint(a, 5000, 5000));
  commands_.VideoMove(CellPoint(b, 5000, 5000));
  EXPECT_EQ(display_.GetHighlightedCamera(), b);
  commands_.VideoRelease(CellPoint(b, 5000, 5000));
  EXPECT_EQ(display_.CellOfCamera(a), cellB);
  EXPECT_EQ(display_.CellOfCamera(b), cellA);
  EXPECT_EQ(display_.GetHighlightedCamera(), -1);

  source_.masks.clear();
  commands_.VideoDoubleClick(CellPoint(a, 5000, 5000));
  EXPECT_EQ(display_.VisibleCameras(), 1u << a);
  EXPECT_EQ(source_.masks, std::vector<uint32_t>{1u << a});
  EXPECT_EQ(view_.selected, a);
}

// ---- Bookmarks.

TEST_F(Commands, BookmarkCommandsUseTheCursorAndTheMenuTime) {
  ShowSeconds();
  commands_.AddBookmarkAtCursor();  // no cursor: nothing asked
  EXPECT_EQ(view_.titleAsked, 0);

  const uint64_t t = kT0 + 300 * kSecond;
  commands_.OnPlaybackPosition(t);
  commands_.AddBookmarkAtCursor();
  EXPECT_EQ(source_.calls.back(), "Add " + std::to_string(t) + " Gate");
  EXPECT_TRUE(view_.titleOffered.isEmpty());
  view_.titleOk = false;
  commands_.AddBookmarkAtCursor();
  EXPECT_EQ(source_.calls.back(), "Add " + std::to_string(t) + " Gate");  // cancelled: no new call
  commands_.NextBookmark();
  EXPECT_EQ(source_.calls.back(), "Next " + std::to_string(t));
  commands_.PreviousBookmark();
  EXPECT_EQ(source_.calls.back(), "Prev " + std::to_string(t));
}

TEST_F(Commands, MapMenuOffersTheBookmarkUnderThePointer) {
  ShowSeconds();
  const uint64_t t = kT0 + 600 * kSecond;
  map_.InsertBookmark(t);
  map_.SetTitle(t, "Door");

  commands_.OpenMapMenu(map_.ColumnOf(t) + 2);  // within 3 pixels: the bookmark
  EXPECT_EQ(commands_.MenuTime(), t);
  EXPECT_EQ(commands_.RemoveBookmarkText(), shell::Tr(shell::text::kMenuRemoveBookmark) + " 'Door' ");
  view_.titleAnswer = QStringLiteral("Back door");
  commands_.SetBookmarkAtMenuTime();
  EXPECT_EQ(view_.titleOffered, QStringLiteral("Door"));
  EXPECT_EQ(source_.calls.back(), "Add " + std::to_string(t) + " Back door");
  EXPECT_EQ(commands_.MenuTime(), 0u);

  commands_.OpenMapMenu(map_.ColumnOf(t));
  commands_.RemoveBookmarkAtMenuTime();
  EXPECT_EQ(source_.calls.back(), "Delete " + std::to_string(t));
  EXPECT_EQ(commands_.MenuTime(), 0u);

  commands_.OpenMapMenu(map_.ColumnOf(t) + 50);  // no bookmark there
  EXPECT_EQ(commands_.RemoveBookmarkText(), std::nullopt);
  const size_t calls = source_.calls.size();
  commands_.RemoveBookmarkAtMenuTime();
  EXPECT_EQ(source_.calls.back(), "Delete " + std::to_string(kT0 + 650 * kSecond));
  EXPECT_EQ(source_.calls.size(), calls + 1);
  EXPECT_TRUE(view_.messages.empty());

  // A server that refuses either change is told to the operator.
  source_.refuseBookmarks = true;
  commands_.OpenMapMenu(map_.ColumnOf(t));
  commands_.SetBookmarkAtMenuTime();
  commands_.OpenMapMenu(map_.ColumnOf(t));
  commands_.RemoveBookmarkAtMenuTime();
  EXPECT_EQ(view_.messages, (std::vector<int>{shell::text::kServerRefused, shell::text::kServerRefused}));
}

// ---- Mouse modes.

TEST_F(Commands, ChoosingAMouseModeAgainReturnsToNormal) {
  commands_.SwitchMouseMode(BrowserCommands::kMouseSelectArea);
  EXPECT_EQ(commands_.Mode(), BrowserCommands::kMouseSelectArea);
  commands_.SwitchMouseMode(BrowserCommands::kMouseSelectArea);
  EXPECT_EQ(commands_.Mode(), BrowserCommands::kMouseNormal);
  commands_.SwitchMouseMode(BrowserCommands::kMouseZoomArea);
  display_.SetZoomRect(0, {0, 0, 5000, 3750});
  commands_.SwitchMouseMode(BrowserCommands::kMouseSelectArea);
  EXPECT_EQ(commands_.Mode(), BrowserCommands::kMouseSelectArea);
  // Leaving the zoom mode shows every picture whole again.
  EXPECT_TRUE(display_.GetZoomRect(0).Empty());
}

TEST(MotionArea, SnapsToTheEightPixelGridOfThePicture) {
  // The whole picture: 0..383 x 0..287 pixels.
  EXPECT_EQ(BrowserCommands::MotionArea({10000, 10000}, {0, 0}),
            (video::Rect{0, 0, 383 * 10000 / 384, 287 * 10000 / 288}));
  // 100..200 pixels across (units 2605..5209) become 96..199 on the grid.
  EXPECT_EQ(BrowserCommands::MotionArea({2605, 0}, {5209, 10000}),
            (video::Rect{96 * 10000 / 384, 0, 199 * 10000 / 384, 287 * 10000 / 288}));
  // Less than a grid square either way: no area.
  EXPECT_TRUE(BrowserCommands::MotionArea({0, 0}, {200, 10000}).Empty());
  EXPECT_TRUE(BrowserCommands::MotionArea({0, 5000}, {10000, 5100}).Empty());
  // Points beyond the picture are held at its edge.
  EXPECT_EQ(BrowserCommands::MotionArea({-500, -500}, {20000, 20000}),
            BrowserCommands::MotionArea({0, 0}, {10000, 10000}));
}

TEST(ZoomArea, KeepsFourByThreeByTheWidthInTheDirectionDrawn) {
  EXPECT_EQ(BrowserCommands::ZoomArea({1000, 1000}, {5000, 9000}), (video::Rect{1000, 1000, 5000, 4000}));
  EXPECT_EQ(BrowserCommands::ZoomArea({9000, 9000}, {5000, 100}), (video::Rect{5000, 6000, 9000, 9000}));
  // The end is held to the picture; a drag upwards past the top is clamped after the rule.
  EXPECT_EQ(BrowserCommands::ZoomArea({2000, 1000}, {12000, 0}), (video::Rect{2000, 0, 10000, 1000}));
  // A click without a drag gives no area: the whole picture again.
  EXPECT_TRUE(BrowserCommands::ZoomArea({3000, 3000}, {3000, 3000}).Empty());
}

TEST_F(Commands, DrawingAMotionAreaAndASmallOneClearsIt) {
  commands_.SelectLayout(1);
  const int camera = display_.CameraAt({400, 300});
  ASSERT_GE(camera, 0);
  commands_.SwitchMouseMode(BrowserCommands::kMouseSelectArea);
  commands_.VideoPress(CellPoint(camera, 1000, 1000));
  commands_.VideoMove(CellPoint(camera, 6000, 6000));
  EXPECT_FALSE(display_.GetTrackRect(camera).Empty());
  commands_.VideoRelease(CellPoint(camera, 6000, 6000));
  const video::Rect area = display_.GetAreaRect(camera);
  EXPECT_FALSE(area.Empty());
  EXPECT_TRUE(display_.GetTrackRect(camera).Empty());
  EXPECT_EQ(area, BrowserCommands::MotionArea(display_.CellToFrame(camera, CellPoint(camera, 1000, 1000)),
                                              display_.CellToFrame(camera, CellPoint(camera, 6000, 6000))));

  // Both corners in the same grid square (pixels 40..47).
  commands_.VideoPress(CellPoint(camera, 1100, 1100));
  commands_.VideoRelease(CellPoint(camera, 1180, 1180));
  EXPECT_TRUE(display_.GetAreaRect(camera).Empty());
}

TEST_F(Commands, ZoomDragSetsTheCamerasZoomArea) {
  commands_.SelectLayout(1);
  const int camera = display_.CameraAt({400, 300});
  ASSERT_GE(camera, 0);
  commands_.SwitchMouseMode(BrowserCommands::kMouseZoomArea);
  commands_.VideoPress(CellPoint(camera, 2000, 2000));
  commands_.VideoMove(CellPoint(camera, 6000, 4000));
  EXPECT_FALSE(display_.GetTrackRect(camera).Empty());
  commands_.VideoRelease(CellPoint(camera, 6000, 9000));
  const video::Rect zoom = display_.GetZoomRect(camera);
  EXPECT_TRUE(display_.GetTrackRect(camera).Empty());
  EXPECT_NEAR(zoom.bottom - zoom.top, (zoom.right - zoom.left) * 3 / 4, 2);
  EXPECT_NEAR(zoom.left, 2000, 20);
}

// ---- Mouse in the map.

TEST_F(Commands, AShortDragInTheMapSeeksAndALongOneZooms) {
  ShowSeconds();
  const QPoint press = RowPoint(0, 100);
  commands_.MapPress(press);
  EXPECT_EQ(view_.selected, 0);
  commands_.MapMove(press + QPoint(3, 0));
  commands_.MapRelease(press + QPoint(3, 0));
  EXPECT_EQ(source_.calls.back(), "Seek 0 " + std::to_string(kT0 + 103 * kSecond));
  EXPECT_EQ(map_.GetSelectionStart(), 0u);
  EXPECT_EQ(map_.GetViewStart(), kT0);

  commands_.MapPress(press);
  commands_.MapMove(press + QPoint(200, 0));
  EXPECT_EQ(map_.GetSelectionEnd(), kT0 + 300 * kSecond);
  const size_t calls = source_.calls.size();
  commands_.MapRelease(press + QPoint(200, 0));
  EXPECT_EQ(map_.GetViewStart(), kT0 + 100 * kSecond);
  EXPECT_EQ(map_.GetViewEnd(), kT0 + 300 * kSecond);
  EXPECT_EQ(map_.GetSelectionStart(), 0u);
  // The new view asks for data; nothing seeks.
  for (size_t i = calls; i < source_.calls.size(); ++i) EXPECT_NE(source_.calls[i].rfind("Seek", 0), 0u);
}

TEST_F(Commands, RestingOnAMapRowSelectsItsCamera) {
  ShowSeconds();
  const QPoint row = RowPoint(5, 10);
  for (int i = 0; i < BrowserCommands::kHoverTicks - 1; ++i) commands_.Tick(row);
  EXPECT_NE(display_.GetSelectedCamera(), 5);
  commands_.Tick(row);
  EXPECT_EQ(display_.GetSelectedCamera(), 5);
  EXPECT_EQ(map_.SelectedRow(), 5);
}

// ---- Motion search and notifications.

TEST_F(Commands, MotionSearchNeedsAnAreaAndStoppingClearsIt) {
  commands_.StartMotionSearch();
  EXPECT_EQ(view_.messages, std::vector<int>{shell::text::kSearchError});
  EXPECT_FALSE(source_.Called("FastForward"));
  EXPECT_EQ(source_.motion.size(), 16u);

  display_.SetAreaRect(3, {1000, 1000, 5000, 5000});
  commands_.SetSensitivity(3, 70);
  display_.SetAreaRect(4, {1000, 1000, 5000, 5000});
  commands_.SetSensitivity(4, 0);  // an area without sensitivity is not armed
  source_.motion.clear();
  commands_.StartMotionSearch();
  EXPECT_TRUE(source_.Called("FastForward"));
  EXPECT_TRUE(commands_.SearchRunning());
  EXPECT_EQ(source_.motion[3].sensitivity, 70);
  EXPECT_EQ(source_.motion[3].area, (video::Rect{1000, 1000, 5000, 5000}));
  EXPECT_EQ(display_.GetCaption2(3), shell::Tr(shell::text::kMotionDetecting).toStdString());
  EXPECT_TRUE(display_.GetCaption2(4).empty());
  // The button blinks with the timer.
  const bool pressed = commands_.SearchButtonPressed();
  commands_.Tick({});
  EXPECT_NE(commands_.SearchButtonPressed(), pressed);

  source_.motion.clear();
  commands_.OnPlaybackStatus(playback::kStatusStopped, 0);
  EXPECT_FALSE(commands_.SearchRunning());
  EXPECT_TRUE(display_.GetCaption2(3).empty());
  ASSERT_EQ(source_.motion.size(), 16u);
  for (const auto& m : source_.motion) {
    EXPECT_EQ(m.sensitivity, 0);
    EXPECT_TRUE(m.area.Empty());
  }
}

TEST_F(Commands, StatusEventsSetTheButtonsAndMotionSelectsTheCamera) {
  commands_.OnPlaybackStatus(playback::kStatusPlayingDouble, 0);
  EXPECT_EQ(commands_.PressedMode(), 2);
  commands_.OnPlaybackStatus(playback::kStatusFastBackward, 0);
  EXPECT_EQ(commands_.PressedMode(), 4);

  commands_.OnPlaybackStatus(playback::kStatusMotionFound, 6);
  EXPECT_EQ(display_.GetSelectedCamera(), 6);
  EXPECT_EQ(display_.GetHighlightedCamera(), 6);
  EXPECT_EQ(commands_.MotionText(6), shell::Tr(shell::text::kMotion));
  EXPECT_EQ(view_.beeps, 1);
  // A camera number out of range is ignored.
  commands_.OnPlaybackStatus(playback::kStatusMotionFound, 16);
  commands_.OnPlaybackStatus(playback::kStatusMotionFound, -1);
  EXPECT_EQ(display_.GetSelectedCamera(), 6);
  EXPECT_EQ(view_.beeps, 1);

  // The search stops after the find: the camera keeps "Motion !" until playback goes on.
  commands_.OnPlaybackStatus(playback::kStatusStopped, 0);
  EXPECT_EQ(commands_.PressedMode(), 0);
  EXPECT_EQ(display_.GetCaption2(6), " " + shell::Tr(shell::text::kMotion).toStdString());
  EXPECT_TRUE(display_.GetCaption2(5).empty());
  commands_.OnPlaybackStatus(playback::kStatusPlaying, 0);
  EXPECT_TRUE(display_.GetCaption2(6).empty());
  EXPECT_TRUE(commands_.MotionText(6).isEmpty());
}

TEST_F(Commands, PlaybackButtonsStopFirstOnlyForBackwardAndSteps) {
  commands_.StartMode(1);
  commands_.StartMode(3);
  EXPECT_FALSE(source_.Called("Stop"));
  commands_.StartMode(6);
  ASSERT_GE(source_.calls.size(), 2u);
  EXPECT_EQ(source_.calls[source_.calls.size() - 2], "Stop");
  EXPECT_EQ(source_.calls.back(), "StepBackward");
}

TEST_F(Commands, ExportRunsWithTheWindowDisabledUntilItEnds) {
  commands_.SelectCamera(2);
  commands_.ExportSelectedCamera();
  EXPECT_EQ(source_.calls.back(), "Export out.avi 2 12");
  EXPECT_FALSE(view_.inputEnabled);
  commands_.OnPlaybackStatus(playback::kStatusExportStarted, 12);
  commands_.OnPlaybackStatus(playback::kStatusExportProgress, 40);
  EXPECT_EQ(view_.progress, 40);
  commands_.OnPlaybackStatus(playback::kStatusExportFinished, playback::kExportCancelled);
  EXPECT_TRUE(view_.inputEnabled);
  EXPECT_EQ(view_.progress, -1);
  EXPECT_EQ(view_.messages, std::vector<int>{shell::text::kAviCancelled});

  source_.exportStarts = false;
  commands_.ExportSelectedCamera();
  EXPECT_TRUE(view_.inputEnabled);
  EXPECT_EQ(view_.messages.back(), shell::text::kAviError);
  // A remote source has no database: no backup.
  commands_.Backup();
  EXPECT_EQ(view_.backups, 0);
}

}  // namespace
}  // namespace strixc::browser
