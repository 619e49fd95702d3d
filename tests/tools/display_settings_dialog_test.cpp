#include "tools/display_settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>
#include <gtest/gtest.h>


#include <memory>
#include <utility>
#include <vector>

#include "display/video_display.h"
#include "shell/language.h"
#include "shell/picture_button.h"
#include "tools/client_settings.h"

namespace strixc::tools {
namespace {

constexpr int kCameras = 16;

// The dialog open over a display and client settings, with what it reports recorded.
class DisplaySettingsDialogTest : public ::testing::Test {
 protected:
  void Open() {
    dialog_ = std::make_unique<DisplaySettingsDialog>(display_, settings_);
    QObject::connect(dialog_.get(), &DisplaySettingsDialog::QualityAccepted,
                     [this](uint32_t key, uint32_t delta) { accepted_.emplace_back(key, delta); });
    dialog_->SetFolderBrowser([this](QWidget*, const QString& start) {
      browsedFrom_.push_back(start);
      return browseAnswer_;
    });
    dialog_->show();
    QApplication::processEvents();
  }

  template <class T>
  T* Find(const char* name) {
    T* widget = dialog_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  // A left click in the middle of the button, as the operator makes it.
  void Press(const char* name) {
    QWidget* button = Find<shell::PictureButton>(name);
    const QPointF centre = QRectF(button->rect()).center();
    const QPointF global = button->mapToGlobal(centre);
    QMouseEvent down(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(button, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &up);
  }
  bool Latched(const char* name) { return Find<shell::PictureButton>(name)->IsChecked(); }
  void MoveSlider(const char* name, int value) { Find<QSlider>(name)->setValue(value); }
  int Slider(const char* name) { return Find<QSlider>(name)->value(); }
  QString Label(const char* name) { return Find<QLabel>(name)->text(); }
  QLineEdit* Folder() { return Find<QLineEdit>("default_dir"); }

  void SetAllCameras(void (display::VideoDisplay::*set)(int, bool), bool value) {
    for (int camera = 0; camera < kCameras; ++camera) (display_.*set)(camera, value);
  }
  void ExpectAllCameras(bool (display::VideoDisplay::*get)(int), bool expected) {
    for (int camera = 0; camera < kCameras; ++camera) EXPECT_EQ((display_.*get)(camera), expected) << camera;
  }
  void ExpectStoredQualities(uint32_t key, uint32_t delta) {
    EXPECT_EQ(settings_.GetKeyQuality(), key);
    EXPECT_EQ(settings_.GetDeltaQuality(), delta);
  }

  display::VideoDisplay display_;
  ClientSettings settings_{"/data"};
  std::unique_ptr<DisplaySettingsDialog> dialog_;
  std::vector<std::pair<uint32_t, uint32_t>> accepted_;
  std::vector<QString> browsedFrom_;
  QString browseAnswer_;
};

// ---------------------------------------------------------------------------------------------
// Opening

TEST_F(DisplaySettingsDialogTest, OpensWithTheStoredQualitiesAndFolder) {
  settings_.SetKeyQuality(40);
  settings_.SetDeltaQuality(70);
  Open();
  EXPECT_EQ(Slider("key_quality"), 40);
  EXPECT_EQ(Slider("delta_quality"), 70);
  EXPECT_EQ(Label("key_quality_value"), "40");
  EXPECT_EQ(Label("delta_quality_value"), "70");
  EXPECT_EQ(Find<QSlider>("key_quality")->minimum(), 10);
  EXPECT_EQ(Find<QSlider>("delta_quality")->maximum(), 100);
  EXPECT_EQ(Folder()->text(), "/data/DevazUzerFiles");
  MoveSlider("key_quality", 55);
  EXPECT_EQ(Label("key_quality_value"), "55");
}

TEST_F(DisplaySettingsDialogTest, OkStoresTheReconnectSwitchAndTheStaleLimit) {
  settings_.SetStaleSeconds(7);
  Open();
  EXPECT_TRUE(Find<QCheckBox>("reconnect")->isChecked());
  EXPECT_EQ(Find<QSpinBox>("stale_seconds")->value(), 7);
  EXPECT_EQ(Find<QSpinBox>("stale_seconds")->minimum(), 1);
  EXPECT_EQ(Find<QSpinBox>("stale_seconds")->maximum(), 60);
  Find<QCheckBox>("reconnect")->setChecked(false);
  Find<QSpinBox>("stale_seconds")->setValue(20);
  Press("ok");
  EXPECT_FALSE(settings_.GetReconnect());
  EXPECT_EQ(settings_.GetStaleSeconds(), 20u);
}

TEST_F(DisplaySettingsDialogTest, SwitchesStartFromCameraZeroAndCameraNumberReleased) {
  display_.SetShowName(0, true);
  display_.SetShowFps(0, false);
  display_.SetShowTime(0, true);
  display_.SetShowFps(5, true);  // other cameras do not count
  display_.SetSharpen(true);
  Open();
  EXPECT_FALSE(Latched("camera_number"));
  EXPECT_TRUE(Latched("camera_name"));
  EXPECT_FALSE(Latched("fps"));
  EXPECT_TRUE(Latched("current_time"));
  EXPECT_TRUE(Latched("sharpen"));
}

// ---------------------------------------------------------------------------------------------
// OK and Cancel

TEST_F(DisplaySettingsDialogTest, OkStoresMovedQualitiesAndReportsTheChange) {
  Open();
  MoveSlider("key_quality", 80);
  MoveSlider("delta_quality", 35);
  Press("ok");
  ExpectStoredQualities(80, 35);
  EXPECT_TRUE(dialog_->QualityChanged());
  ASSERT_EQ(accepted_.size(), 1u);
  EXPECT_EQ(accepted_[0], std::make_pair(80u, 35u));
  EXPECT_FALSE(dialog_->isVisible());
}

TEST_F(DisplaySettingsDialogTest, OkStoresAnEncodingOnlyWhenTheOperatorChangedIt) {
  settings_.SetServerEncoding("KOI8-U");  // none of the common ones: offered as well
  Open();
  auto* encoding = Find<QComboBox>("server_encoding");
  EXPECT_EQ(encoding->currentText(), "KOI8-U");
  EXPECT_GE(encoding->findText("Windows-1250"), 0);
  encoding->setCurrentText("Windows-1250");
  Press("ok");
  EXPECT_EQ(settings_.GetServerEncoding(), "Windows-1250");

  ClientSettings fresh("/data");
  DisplaySettingsDialog(display_, fresh).accept();
  const int language = shell::LanguageIndex();
  shell::SetLanguageIndex(language == 3 ? 0 : 3);
  EXPECT_EQ(fresh.GetServerEncoding(), ClientSettings::DefaultServerEncoding(shell::LanguageIndex()))
      << "an untouched default keeps following the language";
  shell::SetLanguageIndex(language);
}

TEST_F(DisplaySettingsDialogTest, OkWithUnchangedQualitiesReportsNothing) {
  Open();
  MoveSlider("key_quality", 60);
  MoveSlider("key_quality", 25);  // moved and back
  Press("ok");
  ExpectStoredQualities(25, 25);
  EXPECT_FALSE(dialog_->QualityChanged());
  EXPECT_TRUE(accepted_.empty());
}

TEST_F(DisplaySettingsDialogTest, CancelLeavesTheSettingsButNotTheAppliedSwitches) {
  SetAllCameras(&display::VideoDisplay::SetShowTime, false);
  Open();
  Press("current_time");
  MoveSlider("key_quality", 90);
  MoveSlider("delta_quality", 90);
  Folder()->setText("/elsewhere");
  Find<QCheckBox>("reconnect")->setChecked(false);
  Find<QSpinBox>("stale_seconds")->setValue(9);
  Press("cancel");
  ExpectStoredQualities(25, 25);
  EXPECT_EQ(settings_.GetDefaultDir(), "/data/DevazUzerFiles");
  EXPECT_TRUE(settings_.GetReconnect());
  EXPECT_EQ(settings_.GetStaleSeconds(), 3u);
  EXPECT_FALSE(dialog_->QualityChanged());
  EXPECT_TRUE(accepted_.empty());
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
  ExpectAllCameras(&display::VideoDisplay::GetShowTime, true);
}

// ---------------------------------------------------------------------------------------------
// The display switches act at once on every camera

TEST_F(DisplaySettingsDialogTest, SwitchesSetEveryCamera) {
  SetAllCameras(&display::VideoDisplay::SetShowName, false);
  SetAllCameras(&display::VideoDisplay::SetShowTime, false);
  display_.SetShowFps(0, true);
  display_.SetShowFps(7, false);
  Open();
  Press("camera_number");  // sets the name switch, like "Camera name"
  ExpectAllCameras(&display::VideoDisplay::GetShowName, true);
  Press("camera_number");
  ExpectAllCameras(&display::VideoDisplay::GetShowName, false);
  Press("camera_name");
  ExpectAllCameras(&display::VideoDisplay::GetShowName, true);
  Press("fps");  // latched at opening: releases
  ExpectAllCameras(&display::VideoDisplay::GetShowFps, false);
  Press("current_time");
  ExpectAllCameras(&display::VideoDisplay::GetShowTime, true);
  Press("sharpen");
  EXPECT_TRUE(display_.GetSharpen());
  Press("sharpen");
  EXPECT_FALSE(display_.GetSharpen());
}

TEST_F(DisplaySettingsDialogTest, TextColourStepsEachCameraFromItsOwnColour) {
  for (int camera = 0; camera < kCameras; ++camera) display_.SetTextColor(camera, camera % 10);
  Open();
  Press("text_color");
  Press("text_color");
  for (int camera = 0; camera < kCameras; ++camera) {
    EXPECT_EQ(display_.GetTextColor(camera), (camera % 10 + 2) % 10) << camera;
  }
}

// ---------------------------------------------------------------------------------------------
// The default folder

TEST_F(DisplaySettingsDialogTest, BrowseStartsAtTheFieldAndOkStoresTheChoice) {
  Open();
  browseAnswer_ = "/srv/snapshots";
  Press("browse");
  ASSERT_EQ(browsedFrom_.size(), 1u);
  EXPECT_EQ(browsedFrom_[0], "/data/DevazUzerFiles");
  EXPECT_EQ(Folder()->text(), "/srv/snapshots");
  EXPECT_EQ(settings_.GetDefaultDir(), "/data/DevazUzerFiles");  // not before OK
  Press("ok");
  EXPECT_EQ(settings_.GetDefaultDir(), "/srv/snapshots");
}

TEST_F(DisplaySettingsDialogTest, CancelledChooserOrEmptiedFieldKeepsTheFolder) {
  Open();
  Press("browse");  // answers nothing
  EXPECT_EQ(Folder()->text(), "/data/DevazUzerFiles");
  Folder()->setText("  ");
  Press("ok");
  EXPECT_EQ(settings_.GetDefaultDir(), "/data/DevazUzerFiles");
}

}  // namespace
}  // namespace strixc::tools
