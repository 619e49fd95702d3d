#include "tools/display_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "display/camera_view.h"
#include "display/video_display.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "tools/client_settings.h"
#include "tools/snapshot_dialog.h"

namespace strixc::tools {

namespace text = shell::text;

namespace {

using shell::Tr;


QString DesktopFolderBrowser(QWidget* parent, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

// A stored quality outside the sliders' range (a hand-edited key) is shown at the nearest end, and
// OK then stores the value shown: the server never gets asked for a quality the dialog cannot show.
int SliderValue(uint32_t quality) {
  if (quality < DisplaySettingsDialog::kMinQuality) return DisplaySettingsDialog::kMinQuality;
  if (quality > DisplaySettingsDialog::kMaxQuality) return DisplaySettingsDialog::kMaxQuality;
  return static_cast<int>(quality);
}

shell::PictureButton* MakeButton(QWidget* parent, const char* name, int textId, bool twoState) {
  auto* button = new shell::PictureButton(Tr(textId), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->SetToggleMode(twoState);
  return button;
}

QSlider* MakeSlider(QWidget* parent, const char* name, int value) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(DisplaySettingsDialog::kMinQuality, DisplaySettingsDialog::kMaxQuality);
  slider->setPageStep(10);
  slider->setValue(value);
  slider->setMinimumWidth(220);
  return slider;
}

}  // namespace

DisplaySettingsDialog::DisplaySettingsDialog(display::VideoDisplay& display, ClientSettings& settings,
                                             QWidget* parent)
    : DialogFrame(parent), display_(display), settings_(settings), browseFolder_(DesktopFolderBrowser) {
  SetCaption(Tr(text::kDisplaySettings));
  BuildControls();
}

void DisplaySettingsDialog::BuildControls() {
  keyQuality_ = MakeSlider(this, "key_quality", SliderValue(settings_.GetKeyQuality()));
  deltaQuality_ = MakeSlider(this, "delta_quality", SliderValue(settings_.GetDeltaQuality()));
  keyQualityText_ = new QLabel(this);
  keyQualityText_->setObjectName("key_quality_value");
  deltaQualityText_ = new QLabel(this);
  deltaQualityText_->setObjectName("delta_quality_value");
  // Wide enough for "100", so the slider does not jump when the value grows a digit.
  keyQualityText_->setMinimumWidth(keyQualityText_->fontMetrics().horizontalAdvance(QStringLiteral("1000")));
  ShowQuality(keyQualityText_, keyQuality_->value());
  ShowQuality(deltaQualityText_, deltaQuality_->value());
  connect(keyQuality_, &QSlider::valueChanged, this, [this](int v) { ShowQuality(keyQualityText_, v); });
  connect(deltaQuality_, &QSlider::valueChanged, this, [this](int v) { ShowQuality(deltaQualityText_, v); });

  auto* qualities = new QGridLayout;
  qualities->setHorizontalSpacing(10);
  qualities->addWidget(new QLabel(Tr(text::kKeyFrames), this), 0, 0);
  qualities->addWidget(keyQuality_, 0, 1);
  qualities->addWidget(keyQualityText_, 0, 2);
  qualities->addWidget(new QLabel(Tr(text::kDeltaFrames), this), 1, 0);
  qualities->addWidget(deltaQuality_, 1, 1);
  qualities->addWidget(deltaQualityText_, 1, 2);

  // The common code pages, and the stored one when it is none of them.
  serverEncoding_ = new QComboBox(this);
  serverEncoding_->setObjectName("server_encoding");
  for (const std::string& name : net::TextCodec::CommonNames()) serverEncoding_->addItem(QString::fromStdString(name));
  const QString encoding = QString::fromStdString(settings_.GetServerEncoding());
  if (serverEncoding_->findText(encoding) < 0) serverEncoding_->addItem(encoding);
  serverEncoding_->setCurrentText(encoding);
  qualities->addWidget(new QLabel(Tr(text::kServerTextEncoding), this), 2, 0);
  qualities->addWidget(serverEncoding_, 2, 1, 1, 2);

  // The switches start from camera 0, which stands for all: the dialog sets every camera alike.
  // "Camera number" has no state of its own in the display and always starts released.
  cameraNumber_ = MakeButton(this, "camera_number", text::kCameraNumber, true);
  cameraName_ = MakeButton(this, "camera_name", text::kCameraName, true);
  fps_ = MakeButton(this, "fps", text::kFps, true);
  currentTime_ = MakeButton(this, "current_time", text::kCurrentTime, true);
  sharpen_ = MakeButton(this, "sharpen", text::kSharpen, true);
  cameraName_->SetChecked(display_.GetShowName(0));
  fps_->SetChecked(display_.GetShowFps(0));
  currentTime_->SetChecked(display_.GetShowTime(0));
  sharpen_->SetChecked(display_.GetSharpen());
  auto* textColour = MakeButton(this, "text_color", text::kTextColor, false);
  textColour->SetTooltip(Tr(text::kTooltipChangeTextColor));
  auto* standard = MakeButton(this, "standard_settings", text::kStandardSettings, false);

  // The name switch shows with the next frame; the others redraw at once.
  connect(cameraNumber_, &shell::PictureButton::Toggled, this,
          [this](bool on) { SetAllShowName(on, false); });
  connect(cameraName_, &shell::PictureButton::Toggled, this, [this](bool on) { SetAllShowName(on, true); });
  connect(fps_, &shell::PictureButton::Toggled, this, &DisplaySettingsDialog::SetAllShowFps);
  connect(currentTime_, &shell::PictureButton::Toggled, this, &DisplaySettingsDialog::SetAllShowTime);
  connect(sharpen_, &shell::PictureButton::Toggled, this, &DisplaySettingsDialog::SetSharpen);
  connect(textColour, &shell::PictureButton::clicked, this, &DisplaySettingsDialog::StepTextColour);
  connect(standard, &shell::PictureButton::clicked, this, &DisplaySettingsDialog::RestoreStandardQualities);

  auto* switches = new QGridLayout;
  switches->setSpacing(6);
  switches->addWidget(cameraNumber_, 0, 0);
  switches->addWidget(cameraName_, 0, 1);
  switches->addWidget(fps_, 0, 2);
  switches->addWidget(currentTime_, 1, 0);
  switches->addWidget(textColour, 1, 1);
  switches->addWidget(sharpen_, 1, 2);

  defaultDir_ = new QLineEdit(QString::fromStdString(settings_.GetDefaultDir()), this);
  defaultDir_->setObjectName("default_dir");
  auto* browse = MakeButton(this, "browse", text::kBrowse, false);
  connect(browse, &shell::PictureButton::clicked, this, &DisplaySettingsDialog::BrowseFolder);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(defaultDir_, 1);
  folderRow->addWidget(browse);

  reconnect_ = new QCheckBox(Tr(text::kReconnectAutomatically), this);
  reconnect_->setObjectName("reconnect");
  reconnect_->setChecked(settings_.GetReconnect());
  staleSeconds_ = new QSpinBox(this);
  staleSeconds_->setObjectName("stale_seconds");
  staleSeconds_->setRange(static_cast<int>(ClientSettings::kMinStaleSeconds),
                          static_cast<int>(ClientSettings::kMaxStaleSeconds));
  staleSeconds_->setValue(static_cast<int>(settings_.GetStaleSeconds()));
  auto* linkRow = new QHBoxLayout;
  linkRow->addWidget(reconnect_);
  linkRow->addStretch();
  linkRow->addWidget(new QLabel(Tr(text::kStalePictureAfter), this));
  linkRow->addWidget(staleSeconds_);

  auto* ok = MakeButton(this, "ok", text::kOk, false);
  auto* cancel = MakeButton(this, "cancel", text::kCancel, false);
  connect(ok, &shell::PictureButton::clicked, this, &QDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(standard);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addLayout(qualities);
  layout->addLayout(switches);
  layout->addWidget(new QLabel(Tr(text::kPathToArchiveFolder), this));
  layout->addLayout(folderRow);
  layout->addLayout(linkRow);
  layout->addSpacing(4);
  layout->addLayout(buttons);
}

void DisplaySettingsDialog::ShowQuality(QLabel* text, int value) { text->setText(QString::number(value)); }

void DisplaySettingsDialog::SetAllShowName(bool show, bool redraw) {
  for (int camera = 0; camera < display::kCameras; ++camera) display_.SetShowName(camera, show);
  if (redraw) display_.RedrawAll();
}

void DisplaySettingsDialog::SetAllShowFps(bool show) {
  for (int camera = 0; camera < display::kCameras; ++camera) display_.SetShowFps(camera, show);
  display_.RedrawAll();
}

void DisplaySettingsDialog::SetAllShowTime(bool show) {
  for (int camera = 0; camera < display::kCameras; ++camera) display_.SetShowTime(camera, show);
  display_.RedrawAll();
}

// Each camera steps from its own colour: cameras set apart elsewhere stay apart. The display keeps
// the index within its colour table.
void DisplaySettingsDialog::StepTextColour() {
  for (int camera = 0; camera < display::kCameras; ++camera) {
    display_.SetTextColor(camera, display_.GetTextColor(camera) + 1);
  }
  display_.RedrawAll();
}

void DisplaySettingsDialog::SetSharpen(bool sharpen) {
  display_.SetSharpen(sharpen);
  display_.RedrawAll();
}

// "Standard settings" puts the sliders back to a fresh installation's qualities; like any slider
// move it takes effect only with OK.
void DisplaySettingsDialog::RestoreStandardQualities() {
  keyQuality_->setValue(static_cast<int>(ClientSettings::kDefaultKeyQuality));
  deltaQuality_->setValue(static_cast<int>(ClientSettings::kDefaultDeltaQuality));
}

void DisplaySettingsDialog::BrowseFolder() {
  const QString chosen = browseFolder_(this, defaultDir_->text());
  if (!chosen.isEmpty()) defaultDir_->setText(QDir::toNativeSeparators(chosen));
}

void DisplaySettingsDialog::accept() {
  const auto key = static_cast<uint32_t>(keyQuality_->value());
  const auto delta = static_cast<uint32_t>(deltaQuality_->value());
  // Compared with what is stored now, not at opening: another window may have changed it since.
  if (key != settings_.GetKeyQuality() || delta != settings_.GetDeltaQuality()) {
    settings_.SetKeyQuality(key);
    settings_.SetDeltaQuality(delta);
    qualityChanged_ = true;
    emit QualityAccepted(key, delta);
  }
  // An emptied field keeps the folder: an empty default folder would send files to the working
  // directory.
  const std::string dir = defaultDir_->text().trimmed().toStdString();
  if (!dir.empty() && dir != settings_.GetDefaultDir()) settings_.SetDefaultDir(dir);
  // Stored only when changed: an untouched default keeps following the language.
  const std::string encoding = serverEncoding_->currentText().toStdString();
  if (encoding != settings_.GetServerEncoding()) {
    settings_.SetServerEncoding(encoding);
    display_.SetTextCodec(settings_.ServerTextCodec());
  }
  settings_.SetReconnect(reconnect_->isChecked());
  settings_.SetStaleSeconds(static_cast<uint32_t>(staleSeconds_->value()));
  DialogFrame::accept();
}

bool RunDisplaySettings(display::VideoDisplay& display, ClientSettings& settings, QWidget* parent) {
  DisplaySettingsDialog dialog(display, settings, parent);
  dialog.exec();
  return dialog.QualityChanged();
}

namespace {

// Keeps the gallery's sample objects alive exactly as long as the dialog that refers to them.
class SampleOwner : public QObject {
 public:
  std::unique_ptr<display::VideoDisplay> display = std::make_unique<display::VideoDisplay>();
  std::unique_ptr<ClientSettings> settings = std::make_unique<ClientSettings>("/var/lib/strixc");
};

std::unique_ptr<QWidget> DisplaySettingsPage() {
  auto* owner = new SampleOwner;
  const char* names[] = {"Entrance", "Parking", "Loading bay", "Reception"};
  for (int camera = 0; camera < display::kCameras; ++camera) {
    owner->display->SetName(camera, names[camera % 4]);
    owner->display->SetShowName(camera, true);
    owner->display->SetShowTime(camera, true);
  }
  auto dialog = std::make_unique<DisplaySettingsDialog>(*owner->display, *owner->settings);
  owner->setParent(dialog.get());
  return dialog;
}

}  // namespace

std::vector<shell::GalleryPage> ToolsGalleryPages() {
  return {
      {QStringLiteral("display_settings"), DisplaySettingsPage},
      {QStringLiteral("snapshot_preview"),
       [] { return std::make_unique<SnapshotDialog>(SampleSnapshotBitmap(320, 240)); }},
  };
}

}  // namespace strixc::tools
