// The browser's small windows: what the operator's choices leave behind in the process, the display,
// the client settings and the server.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

#include "browser/archive_path_dialog.h"
#include "browser/image_adjust_panel.h"
#include "browser/open_archives_dialog.h"
#include "browser/video_quality_dialog.h"
#include "display/video_display.h"
#include "shell/picture_button.h"
#include "tools/client_settings.h"

namespace strixc::browser {
namespace {

template <class T>
T* Find(QWidget* window, const char* name) {
  T* widget = window->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

void Click(QWidget* window, const char* name) { Find<shell::PictureButton>(window, name)->click(); }

// --- Open archives ---

// Each test runs in a process of its own (CTest), so the memory starts at "Remote" here.
TEST(OpenArchivesDialogTest, ReopeningPreselectsTheKindOpenedLastAndCancelForgetsNothing) {
  {
    OpenArchivesDialog first;
    EXPECT_EQ(first.Choice(), ArchiveKind::kRemote);
    Find<QComboBox>(&first, "archive_kind")->setCurrentIndex(static_cast<int>(ArchiveKind::kPath));
    Click(&first, "open");
    EXPECT_EQ(first.result(), QDialog::Accepted);
  }
  {
    OpenArchivesDialog second;
    EXPECT_EQ(second.Choice(), ArchiveKind::kPath);
    Find<QComboBox>(&second, "archive_kind")->setCurrentIndex(static_cast<int>(ArchiveKind::kLocal));
    Click(&second, "cancel");
  }
  OpenArchivesDialog third;
  EXPECT_EQ(third.Choice(), ArchiveKind::kPath);
  EXPECT_EQ(OpenArchivesDialog::LastChoice(), ArchiveKind::kPath);
}

TEST(OpenArchivesDialogTest, AGreyedKindIsNeitherPreselectedNorOpened) {
  {
    OpenArchivesDialog remote;
    Find<QComboBox>(&remote, "archive_kind")->setCurrentIndex(static_cast<int>(ArchiveKind::kRemote));
    Click(&remote, "open");
  }
  OpenArchivesDialog dialog;
  dialog.SetKindEnabled(ArchiveKind::kRemote, false);
  // "Remote", remembered, is greyed: the list starts at "Default".
  EXPECT_EQ(dialog.Choice(), ArchiveKind::kLocal);
  // Chosen anyway (by the keyboard), it leaves "Open" greyed and accept does nothing.
  Find<QComboBox>(&dialog, "archive_kind")->setCurrentIndex(static_cast<int>(ArchiveKind::kRemote));
  EXPECT_FALSE(Find<shell::PictureButton>(&dialog, "open")->isEnabled());
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  // The memory still holds "Remote" for an opening where it is available.
  OpenArchivesDialog later;
  EXPECT_EQ(later.Choice(), ArchiveKind::kRemote);
}

// --- Path dialog ---

TEST(ArchivePathDialogTest, BrowseFillsTheFieldFromItAndABlankFieldCannotBeAccepted) {
  ArchivePathDialog dialog(QStringLiteral("/srv/old"));
  QString browsedFrom;
  dialog.SetFolderBrowser([&](QWidget*, const QString& start) {
    browsedFrom = start;
    return QStringLiteral("/srv/new");
  });
  Click(&dialog, "browse");
  EXPECT_EQ(browsedFrom, QStringLiteral("/srv/old"));
  EXPECT_EQ(dialog.Folder(), QStringLiteral("/srv/new"));

  Find<QLineEdit>(&dialog, "folder")->setText(QStringLiteral("   "));
  EXPECT_FALSE(Find<shell::PictureButton>(&dialog, "ok")->isEnabled());
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
}

// --- Image adjustment panel ---

class ImageAdjustPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sensitivity_.fill(ImageAdjustPanel::kDefaultSensitivity);
    panel_.SetSensitivityHooks([this](int camera) { return sensitivity_[camera]; },
                               [this](int camera, int value) {
                                 sensitivity_[camera] = value;
                                 ++sensitivityWrites_;
                               });
  }
  QSlider* Slider(const char* name) { return Find<QSlider>(&panel_, name); }

  display::VideoDisplay display_;
  QWidget owner_;
  ImageAdjustPanel panel_{&display_, &owner_};
  std::array<int, 16> sensitivity_{};
  int sensitivityWrites_ = 0;
};

TEST_F(ImageAdjustPanelTest, IsCreatedHiddenAndTheCrossHidesItAgain) {
  EXPECT_FALSE(panel_.isVisible());
  owner_.show();
  panel_.show();
  Click(&panel_, "close");
  EXPECT_FALSE(panel_.isVisible());
}

TEST_F(ImageAdjustPanelTest, SlidersActOnTheSelectedCameraOnlyAndLoadingWritesNothingBack) {
  sensitivity_[3] = 80;
  display_.SetBrightness(3, 40);
  display_.SetFilterMode(3, -1);
  panel_.SetCamera(3);
  EXPECT_EQ(Slider("sensitivity")->value(), 80);
  EXPECT_EQ(Find<QLabel>(&panel_, "sensitivity_value")->text(), QStringLiteral("80"));
  EXPECT_EQ(Slider("brightness")->value(), 40);
  EXPECT_EQ(Slider("sharpness")->value(), -1);
  EXPECT_EQ(sensitivityWrites_, 0);

  Slider("contrast")->setValue(-30);
  Slider("saturation")->setValue(70);
  Slider("sensitivity")->setValue(12);
  EXPECT_EQ(display_.GetContrast(3), -30);
  EXPECT_EQ(display_.GetColourfulness(3), 70);
  EXPECT_EQ(sensitivity_[3], 12);
  EXPECT_EQ(display_.GetContrast(0), 0);
  EXPECT_EQ(sensitivity_[0], ImageAdjustPanel::kDefaultSensitivity);

  // Another camera: its own values, and camera 3 keeps what it was given.
  panel_.SetCamera(0);
  EXPECT_EQ(Slider("contrast")->value(), 0);
  EXPECT_EQ(Slider("sensitivity")->value(), ImageAdjustPanel::kDefaultSensitivity);
  EXPECT_EQ(display_.GetContrast(3), -30);
  EXPECT_EQ(sensitivity_[3], 12);

  // No camera selected: greyed, and nothing reaches the display.
  panel_.SetCamera(-1);
  EXPECT_FALSE(Slider("brightness")->isEnabled());
}

TEST_F(ImageAdjustPanelTest, DefaultsResetsThePictureValuesButNotTheSensitivity) {
  panel_.SetCamera(5);
  Slider("sensitivity")->setValue(90);
  Slider("sharpness")->setValue(1);
  Slider("brightness")->setValue(-55);
  Slider("contrast")->setValue(25);
  Slider("saturation")->setValue(-100);
  Click(&panel_, "defaults");
  EXPECT_EQ(display_.GetFilterMode(5), 0);
  EXPECT_EQ(display_.GetBrightness(5), 0);
  EXPECT_EQ(display_.GetContrast(5), 0);
  EXPECT_EQ(display_.GetColourfulness(5), 0);
  EXPECT_EQ(Slider("brightness")->value(), 0);
  EXPECT_EQ(sensitivity_[5], 90);
  EXPECT_EQ(Slider("sensitivity")->value(), 90);
}

TEST_F(ImageAdjustPanelTest, ADragOnTheBodyMovesThePanelByTheCursorsOffset) {
  panel_.move(100, 100);
  panel_.show();
  QApplication::processEvents();
  const QPoint start = panel_.pos();
  // The margin at the lower left corner holds no control.
  const QPointF inside(3, panel_.height() - 3);
  const QPointF global = panel_.mapToGlobal(inside);
  const QPointF offset(40, 25);
  QMouseEvent press(QEvent::MouseButtonPress, inside, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&panel_, &press);
  QMouseEvent move(QEvent::MouseMove, inside + offset, global + offset, Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&panel_, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, inside + offset, global + offset, Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&panel_, &release);
  EXPECT_EQ(panel_.pos(), start + offset.toPoint());
  // Released: moving on does nothing.
  QMouseEvent later(QEvent::MouseMove, inside, global + offset * 2, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&panel_, &later);
  EXPECT_EQ(panel_.pos(), start + offset.toPoint());
}

// --- Video quality ---

class VideoQualityDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.SetKeyQuality(40);
    settings_.SetDeltaQuality(30);
  }
  std::unique_ptr<VideoQualityDialog> Open() {
    return std::make_unique<VideoQualityDialog>(
        settings_, [this](uint32_t key, uint32_t delta) { sent_.emplace_back(key, delta); });
  }

  tools::ClientSettings settings_{"/data"};
  std::vector<std::pair<uint32_t, uint32_t>> sent_;
};

TEST_F(VideoQualityDialogTest, ClosedUnchangedSendsNothing) {
  auto dialog = Open();
  // Moved and moved back is no change.
  Find<QSlider>(dialog.get(), "key_quality")->setValue(90);
  Find<QSlider>(dialog.get(), "key_quality")->setValue(40);
  Click(dialog.get(), "close");
  EXPECT_TRUE(sent_.empty());
  EXPECT_FALSE(dialog->Sent());
}

TEST_F(VideoQualityDialogTest, AChangedSliderStoresAndSendsBothOnceHoweverTheDialogCloses) {
  auto dialog = Open();
  Find<QSlider>(dialog.get(), "delta_quality")->setValue(75);
  EXPECT_EQ(Find<QLabel>(dialog.get(), "delta_quality_value")->text(), QStringLiteral("75"));
  dialog->reject();  // Escape
  dialog->done(QDialog::Accepted);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0], std::make_pair(40u, 75u));
  EXPECT_EQ(settings_.GetKeyQuality(), 40u);
  EXPECT_EQ(settings_.GetDeltaQuality(), 75u);
}

TEST_F(VideoQualityDialogTest, AStoredQualityOutsideTheRangeIsShownAtItsEndAndNotSentUnmoved) {
  settings_.SetKeyQuality(3);
  auto dialog = Open();
  EXPECT_EQ(Find<QSlider>(dialog.get(), "key_quality")->value(), VideoQualityDialog::kMinQuality);
  Click(dialog.get(), "close");
  EXPECT_TRUE(sent_.empty());
  EXPECT_EQ(settings_.GetKeyQuality(), 3u);
}

}  // namespace
}  // namespace strixc::browser
