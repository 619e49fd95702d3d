#include "browser/video_quality_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "tools/client_settings.h"

namespace strixc::browser {

namespace {

using shell::Tr;
namespace text = shell::text;

// A stored quality outside the sliders' range (a hand-edited key) shows at the nearest end; the
// server is never asked for a value the dialog could not show.
int SliderValue(uint32_t quality) {
  return static_cast<int>(std::clamp<uint32_t>(quality, VideoQualityDialog::kMinQuality,
                                               VideoQualityDialog::kMaxQuality));
}

QSlider* MakeSlider(QWidget* parent, const char* name, int value, QLabel* text) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(VideoQualityDialog::kMinQuality, VideoQualityDialog::kMaxQuality);
  slider->setPageStep(10);
  slider->setMinimumWidth(220);
  slider->setValue(value);
  text->setText(QString::number(value));
  // Wide enough for "100", so the slider does not jump when the value grows a digit.
  text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("1000")));
  QObject::connect(slider, &QSlider::valueChanged, text, [text](int v) { text->setText(QString::number(v)); });
  return slider;
}

}  // namespace

VideoQualityDialog::VideoQualityDialog(tools::ClientSettings& settings, QualitySender send, QWidget* parent)
    : DialogFrame(parent), settings_(settings), send_(std::move(send)) {
  SetCaption(Tr(text::kVideoQuality));
  startKey_ = SliderValue(settings_.GetKeyQuality());
  startDelta_ = SliderValue(settings_.GetDeltaQuality());

  auto* keyText = new QLabel(this);
  keyText->setObjectName("key_quality_value");
  auto* deltaText = new QLabel(this);
  deltaText->setObjectName("delta_quality_value");
  key_ = MakeSlider(this, "key_quality", startKey_, keyText);
  delta_ = MakeSlider(this, "delta_quality", startDelta_, deltaText);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->addWidget(new QLabel(Tr(text::kKeyFrame), this), 0, 0);
  grid->addWidget(key_, 0, 1);
  grid->addWidget(keyText, 0, 2);
  grid->addWidget(new QLabel(Tr(text::kDeltaFrame), this), 1, 0);
  grid->addWidget(delta_, 1, 1);
  grid->addWidget(deltaText, 1, 2);

  auto* close = new shell::PictureButton(Tr(text::kClose), this);
  close->setObjectName("close");
  connect(close, &shell::PictureButton::clicked, this, &QDialog::accept);
  SetDefaultButton(close);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addLayout(grid);
  layout->addLayout(buttons);
}

void VideoQualityDialog::done(int result) {
  // Sent once: done() may be reached again (a close after "Close").
  if (!sent_ && (key_->value() != startKey_ || delta_->value() != startDelta_)) {
    const auto key = static_cast<uint32_t>(key_->value());
    const auto delta = static_cast<uint32_t>(delta_->value());
    settings_.SetKeyQuality(key);
    settings_.SetDeltaQuality(delta);
    sent_ = true;
    if (send_) send_(key, delta);
  }
  DialogFrame::done(result);
}

bool RunVideoQuality(tools::ClientSettings& settings, VideoQualityDialog::QualitySender send, QWidget* parent) {
  VideoQualityDialog dialog(settings, std::move(send), parent);
  dialog.exec();
  return dialog.Sent();
}

}  // namespace strixc::browser
