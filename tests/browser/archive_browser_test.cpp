#include "browser/archive_browser.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>


#include "archive/archive_time.h"

#include "display/video_widget.h"
#include "export/dialogs/export_progress_window.h"
#include "playback/local_playback_source.h"
#include "playback/playback_fixture.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "support/time_zone.h"
#include "video/frame_store.h"

namespace strixc::browser {
namespace {

using playback::test::kMs;
using playback::test::kT0;
using strixc::test::kGreen;

// The browser over a real local archive: camera 0 and camera 4 recorded around kT0.
class BrowserWindow : public playback::test::PlaybackArchive {
 protected:
  void SetUp() override {
    PlaybackArchive::SetUp();
    MakeArchive();
    // In time order, as a recorder writes them.
    for (int i = 0; i < 10; ++i) {
      Key(0, kT0 + i * 40 * kMs, kGreen);
      Key(4, kT0 + i * 40 * kMs + 5 * kMs, kGreen);
    }
    source_ = std::make_unique<playback::LocalPlaybackSource>(db_.get());
    live_ = std::make_unique<display::VideoWidget>(display_);
    live_->resize(640, 480);
    ASSERT_TRUE(live_->Bind());
    browser_ = std::make_unique<ArchiveBrowser>(source_.get(), &display_, &liveFrames_, &map_, live_.get(),
                                                ArchiveBrowserTools{});
    browser_->SetNotifier([this](int id) { messages_.push_back(id); });
  }
  void TearDown() override {
    browser_.reset();
    source_.reset();
    live_.reset();
    PlaybackArchive::TearDown();
  }
  void ShowBrowser() {
    browser_->setWindowState(Qt::WindowNoState);
    browser_->resize(1024, 700);
    browser_->show();
    ASSERT_TRUE(playback::test::WaitUntil([&] { return map_.GetColumns() > 0 && map_.GetViewStart() != 0; }));
  }

  display::VideoDisplay display_;
  video::LiveFrameStore liveFrames_;
  ArchiveMapControl map_;
  std::unique_ptr<display::VideoWidget> live_;
  std::unique_ptr<playback::LocalPlaybackSource> source_;
  std::unique_ptr<ArchiveBrowser> browser_;
  std::vector<int> messages_;
};

TEST_F(BrowserWindow, OpensOverTheArchiveAndGivesTheDisplayBackWhenItCloses) {
  ShowBrowser();
  BrowserCommands& commands = browser_->Commands();
  EXPECT_FALSE(live_->Bound());
  EXPECT_FALSE(commands.WallClock());
  // The highest camera is 4, the fifth: two groups of four.
  EXPECT_EQ(commands.CameraCount(), 8);
  EXPECT_EQ(map_.GetRect(), ArchiveBrowser::MapRect(browser_->size()));
  const QString summary = browser_->findChild<QLabel*>(QStringLiteral("summary"))->text();
  EXPECT_TRUE(summary.endsWith(QStringLiteral("0 day(s), 0 hour(s)"))) << summary.toStdString();
  EXPECT_TRUE(messages_.empty());
  // A server's "Video quality" is off for the local archive, and the tools not given are off.
  EXPECT_FALSE(browser_->findChild<QWidget*>(QStringLiteral("video_quality"))->isEnabled());
  EXPECT_FALSE(browser_->findChild<QWidget*>(QStringLiteral("backup"))->isEnabled());

  // A click on camera 4's row seeks there and the source draws into the display.
  commands.ShowDayOf(kT0);
  map_.SetView(kT0, kT0 + 999 * 10 * kMs);  // one column per 10 ms
  const QPoint row(map_.GetRect().left() + 10, map_.RowRect(4).center().y());
  ASSERT_FALSE(map_.RowRect(4).isEmpty());
  commands.MapPress(row);
  commands.MapRelease(row);
  EXPECT_EQ(source_->CurrentCamera(), 4);
  EXPECT_EQ(source_->CurrentTime(), kT0 + 125 * kMs);  // camera 4's first frame from 100 ms on
  ASSERT_TRUE(playback::test::WaitUntil([&] { return map_.GetCursor() == kT0 + 125 * kMs; }));

  // The camera menu lists the browser's eight cameras.
  QMenu menu;
  browser_->FillCameraMenu(menu);
  QMenu* cameras = nullptr;
  for (QAction* action : menu.actions()) {
    if (action->text() == shell::Tr(shell::text::kMenuVisibleCamera)) cameras = action->menu();
  }
  ASSERT_NE(cameras, nullptr);
  EXPECT_EQ(cameras->actions().size(), 8);

  display_.SetBrightness(4, 30);
  browser_->reject();
  EXPECT_EQ(source_->CurrentTime(), 0u);  // closed
  EXPECT_EQ(map_.GetColumns(), 0);
  EXPECT_EQ(display_.GetBrightness(4), 0);
  EXPECT_TRUE(live_->Bound());
  // The source no longer knows the browser's display: destroying it later touches nothing of it.
  browser_.reset();
  source_.reset();
}

// A source that only exports: StartExport starts (status 6) or fails as the test says, as a
// writer whose compression dialog was confirmed or cancelled would; CancelExport ends the export
// as cancelled (status 8, result 1), as the real sources do.
class ExportingSource : public playback::PlaybackSource {
 public:
  ~ExportingSource() override { ShutdownTimer(); }

  bool opens = false;
  int started = 0;
  int cancels = 0;

  bool Open(QObject* context, playback::PlaybackReceiver* receiver) override {
    BindReceiver(context, receiver);
    return true;
  }
  void Close() override { UnbindReceiver(); }
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
  int HighestCamera() override { return 3; }
  archive::ArchiveDatabase* Database() override { return nullptr; }
  uint64_t Earliest() override { return 0; }
  uint64_t Latest() override { return 0; }
  bool DayHasRecordings(uint64_t) override { return false; }
  bool AddBookmark(uint64_t, const std::string&) override { return false; }
  bool DeleteBookmark(uint64_t) override { return false; }
  void ShowBookmarkText(uint64_t) override {}
  void NextBookmark(uint64_t) override {}
  void PrevBookmark(uint64_t) override {}
  bool StartExport(QObject*, const std::string&, int, uint64_t, uint64_t, int64_t tag) override {
    if (!opens) return false;
    ++started;
    PostStatus(playback::kStatusExportStarted, tag);
    return true;
  }
  void CancelExport() override {
    ++cancels;
    PostStatus(playback::kStatusExportFinished, playback::kExportCancelled);
  }
  void OnTimer() override {}
};

TEST(BrowserExport, DisablesTheWindowUntilTheExportEndsAndTheProgressCancelEndsItAsCancelled) {
  display::VideoDisplay display;
  ArchiveMapControl map;
  ExportingSource source;
  ArchiveBrowserTools tools;
  tools.askExport = [](int, const QString&, uint64_t, uint64_t, QWidget*, std::string* file, int* rate) {
    *file = "clip.avi";
    *rate = 10;
    return true;
  };
  ArchiveBrowser browser(&source, &display, nullptr, &map, nullptr, std::move(tools));
  std::vector<int> messages;
  browser.SetNotifier([&](int id) { messages.push_back(id); });
  browser.setWindowState(Qt::WindowNoState);
  browser.resize(1024, 700);
  browser.show();
  display.SelectCamera(0);
  auto* avi = browser.findChild<QAbstractButton*>(QStringLiteral("export_avi"));
  ASSERT_NE(avi, nullptr);

  // The compression dialog cancelled: nothing starts, the window stays usable.
  avi->click();
  EXPECT_EQ(messages, std::vector<int>{shell::text::kAviError});
  EXPECT_TRUE(avi->isEnabled());

  messages.clear();
  source.opens = true;
  avi->click();
  EXPECT_EQ(source.started, 1);
  EXPECT_FALSE(avi->isEnabled());
  exporting::ExportProgressWindow* progress = nullptr;
  ASSERT_TRUE(playback::test::WaitUntil([&] {
    progress = browser.findChild<exporting::ExportProgressWindow*>();
    return progress != nullptr && progress->isVisible();
  }));
  progress->findChild<QAbstractButton*>(QStringLiteral("cancel"))->click();
  EXPECT_EQ(source.cancels, 1);
  ASSERT_TRUE(playback::test::WaitUntil([&] { return !messages.empty(); }));
  EXPECT_EQ(messages, std::vector<int>{shell::text::kAviCancelled});
  EXPECT_FALSE(progress->isVisible());
  EXPECT_TRUE(avi->isEnabled());
  browser.reject();
}

TEST_F(BrowserWindow, AWholeDayOfTheLocalArchiveFollowsTheWallClockAcrossDaylightSaving) {
  test::ScopedTimeZone warsaw("Europe/Warsaw");
  ShowBrowser();
  BrowserCommands& commands = browser_->Commands();
  const uint64_t noon = archive::FromWallClock(*archive::TimeOfFields({2026, 10, 25, 12, 0, 0, 0}));
  commands.ShowDayOf(noon);
  EXPECT_EQ(map_.GetViewStart(), archive::FromWallClock(*archive::TimeOfFields({2026, 10, 25, 0, 0, 0, 0})));
  EXPECT_EQ(map_.GetViewEnd() - map_.GetViewStart() + 1, 25 * 3600 * archive::kUnitsPerSecond);
  // "Show a whole day" from inside the view's first hour keeps that day.
  map_.SetView(map_.GetViewStart() + 1, map_.GetViewStart() + 3600 * archive::kUnitsPerSecond);
  commands.ShowWholeDay();
  EXPECT_EQ(map_.GetViewEnd() - map_.GetViewStart() + 1, 25 * 3600 * archive::kUnitsPerSecond);
}

}  // namespace
}  // namespace strixc::browser
