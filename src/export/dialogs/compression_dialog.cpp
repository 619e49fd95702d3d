#include "export/dialogs/compression_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "export/dialogs/export_settings.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::exporting {

namespace {

using shell::Tr;
namespace text = shell::text;

// The encoder's description in the operator's language; FFmpeg's name follows it in brackets.
QString LabelOf(const std::string& name) {
  static constexpr struct {
    const char* name;
    int textId;
  } kLabels[] = {{"mjpeg", text::kCodecMjpeg},
                 {"mpeg4", text::kCodecMpeg4},
                 {"libx264", text::kCodecH264},
                 {"ffv1", text::kCodecFfv1},
                 {"rawvideo", text::kCodecUncompressed}};
  const QString tag = QStringLiteral(" (") + QString::fromStdString(name) + QStringLiteral(")");
  for (const auto& label : kLabels)
    if (name == label.name) return Tr(label.textId) + tag;
  return QString::fromStdString(name);
}

shell::PictureButton* MakeButton(QWidget* parent, const char* name, int textId) {
  auto* button = new shell::PictureButton(Tr(textId), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

}  // namespace

CompressionDialog::CompressionDialog(Container container, const ExportCompression& initial, QWidget* parent)
    : DialogFrame(parent), offered_(ExportCodecs(container)) {
  SetCaption(Tr(text::kCompressionOptions));

  codec_ = new QComboBox(this);
  codec_->setObjectName("codec");
  for (const std::string& name : offered_)
    codec_->addItem(LabelOf(name), QString::fromStdString(name));
  auto at = std::find(offered_.begin(), offered_.end(), initial.codec);
  if (at == offered_.end()) at = std::find(offered_.begin(), offered_.end(), DefaultExportCodec(container));
  if (at != offered_.end()) codec_->setCurrentIndex(static_cast<int>(at - offered_.begin()));

  auto* qualityText = new QLabel(this);
  qualityText->setObjectName("quality_value");
  // Wide enough for "100": the slider does not move when the value grows a digit.
  qualityText->setMinimumWidth(qualityText->fontMetrics().horizontalAdvance(QStringLiteral("1000")));
  quality_ = new QSlider(Qt::Horizontal, this);
  quality_->setObjectName("quality");
  quality_->setRange(ExportSettings::kMinQuality, ExportSettings::kMaxQuality);
  quality_->setPageStep(10);
  quality_->setMinimumWidth(200);
  connect(quality_, &QSlider::valueChanged, qualityText, [qualityText](int v) { qualityText->setText(QString::number(v)); });
  quality_->setValue(std::clamp(initial.quality, ExportSettings::kMinQuality, ExportSettings::kMaxQuality));
  qualityText->setText(QString::number(quality_->value()));

  keyFrames_ = new QSpinBox(this);
  keyFrames_->setObjectName("key_frames");
  keyFrames_->setRange(ExportSettings::kMinKeyFrameInterval, ExportSettings::kMaxKeyFrameInterval);
  keyFrames_->setValue(std::clamp(initial.keyFrameInterval, ExportSettings::kMinKeyFrameInterval,
                                  ExportSettings::kMaxKeyFrameInterval));

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->addWidget(new QLabel(Tr(text::kCodec), this), 0, 0);
  grid->addWidget(codec_, 0, 1, 1, 2);
  grid->addWidget(new QLabel(Tr(text::kQuality), this), 1, 0);
  grid->addWidget(quality_, 1, 1);
  grid->addWidget(qualityText, 1, 2);
  grid->addWidget(new QLabel(Tr(text::kKeyFrameEvery), this), 2, 0);
  grid->addWidget(keyFrames_, 2, 1, 1, 2, Qt::AlignLeft);

  auto* ok = MakeButton(this, "ok", text::kOk);
  auto* cancel = MakeButton(this, "cancel", text::kCancel);
  connect(ok, &shell::PictureButton::clicked, this, &QDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  SetDefaultButton(ok);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addLayout(grid);
  if (offered_.empty()) {
    auto* notice = new QLabel(Tr(text::kNoEncoderForFile), this);
    notice->setObjectName("no_encoder");
    notice->setWordWrap(true);
    layout->addWidget(notice);
    ok->setEnabled(false);
    codec_->setEnabled(false);
  }
  layout->addLayout(buttons);
}

ExportCompression CompressionDialog::Options() const {
  ExportCompression options;
  options.codec = codec_->currentData().toString().toStdString();
  options.quality = quality_->value();
  options.keyFrameInterval = keyFrames_->value();
  return options;
}

bool ChooseCompression(settings::SettingsDatabase& db, QObject* owner, const std::string& fileName,
                       ExportCompression* options) {
  const Container container = ContainerOf(fileName);
  // The owner may be a window's command object rather than the window: the dialog then opens over
  // the nearest widget among its parents, else over the modal window the export was started from.
  QWidget* parent = nullptr;
  for (QObject* o = owner; o != nullptr && parent == nullptr; o = o->parent()) parent = qobject_cast<QWidget*>(o);
  if (parent == nullptr) parent = QApplication::activeModalWidget();
  CompressionDialog dialog(container, ExportSettings::Load(db, container, *options), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  const ExportCompression chosen = dialog.Options();
  // "OK" is disabled without an encoder; Enter cannot get round it either.
  if (chosen.codec.empty()) return false;
  // A settings file that refuses the write costs the memory of the choice, not the export.
  ExportSettings::Save(db, container, chosen);
  *options = chosen;
  return true;
}

CompressionChooser MakeCompressionChooser(settings::SettingsDatabase& db) {
  return [&db](QObject* owner, const std::string& fileName, ExportCompression* options) {
    return ChooseCompression(db, owner, fileName, options);
  };
}

}  // namespace strixc::exporting
