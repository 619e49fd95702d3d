#include "browser/calendar_dialog.h"

#include <QCalendarWidget>
#include <QTextCharFormat>

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "playback/playback_source.h"
#include "shell/picture_button.h"
#include "support/time_zone.h"

namespace strixc::browser {
namespace {

constexpr uint64_t kHour = 3600 * archive::kUnitsPerSecond;

uint64_t Wall(int year, int month, int day, int hour = 0) {
  return *archive::TimeOfFields({year, month, day, hour, 0, 0, 0});
}

// A source with a fixed archive: its first and last times, and the days it reports recordings on.
// With `local`, it has a database and its times are on the local archive's clock.
class FakeSource : public playback::PlaybackSource {
 public:
  FakeSource(uint64_t first, uint64_t last, bool local) : first_(first), last_(last), local_(local) {}
  ~FakeSource() override { ShutdownTimer(); }

  std::set<QDate> recorded;  // wall-clock days
  std::vector<uint64_t> asked;

  bool Open(QObject*, playback::PlaybackReceiver*) override { return true; }
  void Close() override {}
  void SendRequest(uint32_t) override {}
  void SeekCamera(int, uint64_t) override {}
  void Stop() override {}
  void Play() override {}
  void PlayDouble() override {}
  void StartMode(int, int) override {}
  void FastForward() override {}
  void FastBackward() override {}
  void StepForward() override {}
  void StepBackward() override {}
  void SetCameraMask(uint32_t) override {}
  void SetMotionDetection(int, int, const video::Rect&) override {}
  void FillTimeline(uint64_t, uint64_t, int) override {}
  int HighestCamera() override { return 0; }
  archive::ArchiveDatabase* Database() override { return local_ ? &database_ : nullptr; }
  uint64_t Earliest() override { return first_; }
  uint64_t Latest() override { return last_; }
  bool DayHasRecordings(uint64_t time) override {
    asked.push_back(time);
    const archive::TimeFields f = archive::FieldsOfTime(local_ ? archive::ToWallClock(time) : time);
    return recorded.count(QDate(f.year, f.month, f.day)) > 0;
  }
  bool AddBookmark(uint64_t, const std::string&) override { return true; }
  bool DeleteBookmark(uint64_t) override { return true; }
  void ShowBookmarkText(uint64_t) override {}
  void NextBookmark(uint64_t) override {}
  void PrevBookmark(uint64_t) override {}
  bool StartExport(QObject*, const std::string&, int, uint64_t, uint64_t, int64_t) override { return false; }
  void CancelExport() override {}
  void OnTimer() override {}

 private:
  const uint64_t first_;
  const uint64_t last_;
  const bool local_;
  archive::ArchiveDatabase database_{"/nonexistent"};
};

class CalendarTest : public ::testing::Test {
 protected:
  test::ScopedTimeZone zone_{"Europe/Warsaw"};
  // Recordings from 2 March 2026 08:00 to 24 March 18:00, on the server's (wall) clock.
  FakeSource source_{Wall(2026, 3, 2, 8), Wall(2026, 3, 24, 18), false};
};

TEST_F(CalendarTest, StartsWithTheViewsDaysCutToTheArchive) {
  CalendarDialog dialog(Wall(2026, 3, 9), Wall(2026, 3, 15) + 24 * kHour - 1, &source_, nullptr);
  EXPECT_EQ(dialog.Caption(), "Calendar");
  EXPECT_EQ(dialog.FirstDay(), QDate(2026, 3, 9));
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 3, 15));
  EXPECT_EQ(dialog.Calendar()->minimumDate(), QDate(2026, 3, 2));
  EXPECT_EQ(dialog.Calendar()->maximumDate(), QDate(2026, 3, 24));
  EXPECT_EQ(dialog.Calendar()->monthShown(), 3);
  EXPECT_EQ(dialog.From(), Wall(2026, 3, 9));
  EXPECT_EQ(dialog.To(), Wall(2026, 3, 15));

  CalendarDialog early(Wall(2026, 2, 20), Wall(2026, 3, 5), &source_, nullptr);
  EXPECT_EQ(early.FirstDay(), QDate(2026, 3, 2));
  EXPECT_EQ(early.LastDay(), QDate(2026, 3, 5));
}

TEST_F(CalendarTest, AClickStartsARangeAndASecondOrShiftClickEndsIt) {
  CalendarDialog dialog(Wall(2026, 3, 9), Wall(2026, 3, 10), &source_, nullptr);
  emit dialog.Calendar()->clicked(QDate(2026, 3, 12));  // as the mouse does
  EXPECT_EQ(dialog.FirstDay(), QDate(2026, 3, 12));
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 3, 12));
  dialog.PickDay(QDate(2026, 3, 4), false);
  EXPECT_EQ(dialog.FirstDay(), QDate(2026, 3, 4));
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 3, 12));
  dialog.PickDay(QDate(2026, 3, 20), false);  // a third click starts anew
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 3, 20));
  dialog.PickDay(QDate(2026, 3, 22), true);
  dialog.PickDay(QDate(2026, 3, 18), true);  // Shift moves the end, from the same first day
  EXPECT_EQ(dialog.FirstDay(), QDate(2026, 3, 18));
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 3, 20));
  dialog.PickDay(QDate(2026, 3, 25), false);  // outside the archive: ignored
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 3, 20));

  // The range is highlighted, and only the range.
  const QTextCharFormat inside = dialog.Calendar()->dateTextFormat(QDate(2026, 3, 19));
  const QTextCharFormat outside = dialog.Calendar()->dateTextFormat(QDate(2026, 3, 21));
  EXPECT_TRUE(inside.hasProperty(QTextFormat::BackgroundBrush));
  EXPECT_FALSE(outside.hasProperty(QTextFormat::BackgroundBrush));
}

TEST_F(CalendarTest, RangesStopAt365DaysAndSelectAllTakesTheArchive) {
  CalendarDialog open(0, 0, nullptr, nullptr);  // no source: no limits, today
  EXPECT_EQ(open.FirstDay(), QDate::currentDate());
  open.PickDay(QDate(2026, 1, 1), false);
  open.PickDay(QDate(2027, 3, 1), false);
  EXPECT_EQ(open.LastDay(), QDate(2026, 12, 31));
  open.PickDay(QDate(2025, 1, 1), true);
  EXPECT_EQ(open.FirstDay(), QDate(2025, 1, 2));
  EXPECT_EQ(open.LastDay(), QDate(2026, 1, 1));
  open.SelectAll();  // nothing to select
  EXPECT_EQ(open.FirstDay(), QDate(2025, 1, 2));
  EXPECT_FALSE(open.findChild<shell::PictureButton*>("select_all")->isEnabled());

  CalendarDialog dialog(Wall(2026, 3, 9), Wall(2026, 3, 10), &source_, nullptr);
  dialog.findChild<shell::PictureButton*>("select_all")->click();
  EXPECT_EQ(dialog.FirstDay(), QDate(2026, 3, 2));
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 3, 24));

  FakeSource longer(Wall(2024, 5, 1, 10), Wall(2026, 3, 24, 18), false);
  CalendarDialog most(Wall(2026, 3, 9), Wall(2026, 3, 10), &longer, nullptr);
  most.SelectAll();
  EXPECT_EQ(most.FirstDay(), QDate(2025, 3, 25));  // the latest 365 days
  EXPECT_EQ(most.LastDay(), QDate(2026, 3, 24));
}

// The local archive counts standard time: in summer a wall-clock midnight is 23:00 of the day
// before on its clock, and the autumn change's day has 25 hours.
TEST_F(CalendarTest, OkGivesTheDaysMidnightsOnTheArchivesClockAcrossTheChange) {
  FakeSource local(archive::FromWallClock(Wall(2026, 6, 1, 10)), archive::FromWallClock(Wall(2026, 12, 1, 10)), true);
  const uint64_t june10 = archive::FromWallClock(Wall(2026, 6, 10));
  ASSERT_EQ(june10, Wall(2026, 6, 9, 23));
  CalendarDialog dialog(june10, june10 + 24 * kHour - 1, &local, nullptr);
  EXPECT_EQ(dialog.FirstDay(), QDate(2026, 6, 10));
  EXPECT_EQ(dialog.LastDay(), QDate(2026, 6, 10));

  dialog.PickDay(QDate(2026, 10, 24), false);
  dialog.PickDay(QDate(2026, 10, 26), false);
  dialog.findChild<shell::PictureButton*>("ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.From(), Wall(2026, 10, 23, 23));
  EXPECT_EQ(dialog.To(), Wall(2026, 10, 26));
  EXPECT_EQ(dialog.To() - dialog.From(), 49 * kHour);
}

TEST_F(CalendarTest, DaysWithRecordingsAreBoldAndAskedAtNoon) {
  source_.recorded = {QDate(2026, 3, 3), QDate(2026, 3, 17), QDate(2026, 4, 2)};
  CalendarDialog dialog(Wall(2026, 3, 9), Wall(2026, 3, 10), &source_, nullptr);
  EXPECT_TRUE(dialog.IsMarked(QDate(2026, 3, 3)));
  EXPECT_TRUE(dialog.IsMarked(QDate(2026, 3, 17)));
  EXPECT_FALSE(dialog.IsMarked(QDate(2026, 3, 4)));
  EXPECT_FALSE(dialog.IsMarked(QDate(2026, 4, 2)));  // after the archive: not asked
  EXPECT_EQ(dialog.Calendar()->dateTextFormat(QDate(2026, 3, 17)).fontWeight(), QFont::Bold);
  EXPECT_NE(dialog.Calendar()->dateTextFormat(QDate(2026, 3, 16)).fontWeight(), QFont::Bold);
  ASSERT_EQ(source_.asked.size(), 23u);  // the archive's days, once each
  for (uint64_t time : source_.asked) EXPECT_EQ(archive::FieldsOfTime(time).hour, 12);

  // Another page asks again; the old marks go.
  source_.asked.clear();
  dialog.Calendar()->setCurrentPage(2026, 2);
  EXPECT_FALSE(dialog.IsMarked(QDate(2026, 3, 17)));
  EXPECT_TRUE(dialog.IsMarked(QDate(2026, 3, 3)));  // shown below February
  EXPECT_EQ(source_.asked.size(), 13u);             // 2 .. 14 March
}

}  // namespace
}  // namespace strixc::browser
