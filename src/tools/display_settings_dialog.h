#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "shell/dialog_frame.h"
#include "shell/gallery.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace strixc::display {
class VideoDisplay;
}

namespace strixc::shell {
class PictureButton;
}

namespace strixc::tools {

class ClientSettings;

// The "Display settings" dialog: the key- and delta-frame qualities asked of the server, the code
// page of the server's texts, the display-wide text switches of the video display and the folder
// the operator's files go to; whether a broken connection is made again by itself and after how
// many seconds a picture counts as stale.
//
// The text switches, "Text color" and "Sharpen" act on the display at once, for all cameras, and
// stay applied whatever button closes the dialog. The qualities, the encoding and the folder are
// written into the client settings only by OK, and so are the reconnect switch and the stale
// limit; Cancel leaves the settings as they were. A changed
// encoding is applied to the display's event texts at once and to the next connection.
//
// `display` and `settings` must outlive the dialog. UI thread only.
//
// Controls, by object name (tests find them so): sliders "key_quality" and "delta_quality" with
// their value texts "key_quality_value" and "delta_quality_value"; two-state buttons
// "camera_number", "camera_name", "fps", "current_time", "sharpen"; buttons "text_color",
// "standard_settings", "browse", "ok", "cancel"; the folder edit "default_dir"; the combo box
// "server_encoding"; the check box "reconnect"; the spin box "stale_seconds".
class DisplaySettingsDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  static constexpr int kMinQuality = 10;
  static constexpr int kMaxQuality = 100;

  // Asks the operator for a folder, starting at `start`; an empty answer means none was chosen.
  using FolderBrowser = std::function<QString(QWidget* parent, const QString& start)>;

  DisplaySettingsDialog(display::VideoDisplay& display, ClientSettings& settings,
                        QWidget* parent = nullptr);

  // Default: the desktop's folder chooser. Tests replace it.
  void SetFolderBrowser(FolderBrowser browser) { browseFolder_ = std::move(browser); }

  // True once OK stored qualities that differ from the ones the dialog started with: the caller
  // must then send them to the server. False after Cancel.
  bool QualityChanged() const { return qualityChanged_; }

  // OK: stores changed qualities (both, then QualityAccepted) and a changed folder, then closes.
  void accept() override;

 signals:
  // Emitted by OK when either quality changed, with the values now in the client settings.
  void QualityAccepted(uint32_t keyQuality, uint32_t deltaQuality);

 private:
  void BuildControls();
  void ShowQuality(QLabel* text, int value);
  void SetAllShowName(bool show, bool redraw);
  void SetAllShowFps(bool show);
  void SetAllShowTime(bool show);
  void StepTextColour();
  void SetSharpen(bool sharpen);
  void RestoreStandardQualities();
  void BrowseFolder();

  display::VideoDisplay& display_;
  ClientSettings& settings_;
  FolderBrowser browseFolder_;
  bool qualityChanged_ = false;

  QSlider* keyQuality_ = nullptr;
  QSlider* deltaQuality_ = nullptr;
  QLabel* keyQualityText_ = nullptr;
  QLabel* deltaQualityText_ = nullptr;
  shell::PictureButton* cameraNumber_ = nullptr;
  shell::PictureButton* cameraName_ = nullptr;
  shell::PictureButton* fps_ = nullptr;
  shell::PictureButton* currentTime_ = nullptr;
  shell::PictureButton* sharpen_ = nullptr;
  QLineEdit* defaultDir_ = nullptr;
  QComboBox* serverEncoding_ = nullptr;
  QCheckBox* reconnect_ = nullptr;
  QSpinBox* staleSeconds_ = nullptr;
};

// Shows the dialog modally over `parent`; true when OK changed the qualities, which the caller then
// sends to the server.
bool RunDisplaySettings(display::VideoDisplay& display, ClientSettings& settings, QWidget* parent);

// The tools' pages of the gallery: "display_settings" and "snapshot_preview", with sample content.
std::vector<shell::GalleryPage> ToolsGalleryPages();

}  // namespace strixc::tools
