#include "browser/image_adjust_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>

#include "display/camera_view.h"
#include "display/video_display.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "shell/theme.h"

namespace strixc::browser {

namespace {

using shell::Tr;
namespace text = shell::text;

constexpr int kSliderWidth = 180;

QSlider* MakeSlider(QWidget* parent, const char* name, int minimum, int maximum) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(minimum, maximum);
  // Three positions for the filter mode; steps of ten for the others.
  slider->setPageStep(maximum - minimum > 2 ? 10 : 1);
  slider->setMinimumWidth(kSliderWidth);
  return slider;
}

shell::PictureButton* MakeFilterButton(QWidget* parent, const char* name, const char* icon, int tooltip) {
  auto* button = new shell::PictureButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->SetIcon(QIcon(QString::fromLatin1(icon)));
  button->SetTooltip(Tr(tooltip));
  // The display has no logarithmic, median or equalising filter to switch: greyed, so that the
  // operator sees they do nothing.
  button->setEnabled(false);
  return button;
}

}  // namespace

ImageAdjustPanel::ImageAdjustPanel(display::VideoDisplay* display, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint), display_(display) {
  setPalette(shell::theme::DarkPalette(palette()));
  setAutoFillBackground(true);
  BuildControls();
  hide();
  SetCamera(-1);
}

void ImageAdjustPanel::BuildControls() {
  sliders_[kSensitivity] = MakeSlider(this, "sensitivity", 0, 100);
  sliders_[kSharpness] = MakeSlider(this, "sharpness", -1, 1);
  sliders_[kBrightness] = MakeSlider(this, "brightness", -100, 100);
  sliders_[kContrast] = MakeSlider(this, "contrast", -100, 100);
  sliders_[kSaturation] = MakeSlider(this, "saturation", -100, 100);
  for (int i = 0; i < kSliderCount; ++i) {
    const auto which = static_cast<Slider>(i);
    connect(sliders_[i], &QSlider::valueChanged, this, [this, which](int value) { OnSliderMoved(which, value); });
  }
  sensitivityText_ = new QLabel(this);
  sensitivityText_->setObjectName("sensitivity_value");
  // Wide enough for "100", so the slider does not jump when the value grows a digit.
  sensitivityText_->setMinimumWidth(sensitivityText_->fontMetrics().horizontalAdvance(QStringLiteral("1000")));

  auto* close = new shell::PictureButton(QStringLiteral("X"), this);
  close->setObjectName("close");
  connect(close, &shell::PictureButton::clicked, this, &QWidget::hide);
  auto* defaults = new shell::PictureButton(Tr(text::kDefaults), this);
  defaults->setObjectName("defaults");
  connect(defaults, &shell::PictureButton::clicked, this, &ImageAdjustPanel::RestoreDefaults);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(Tr(text::kDetectionSensitivity), this));
  top->addStretch();
  top->addWidget(close);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->addWidget(sliders_[kSensitivity], 0, 0, 1, 2);
  grid->addWidget(sensitivityText_, 0, 2);
  const int labels[] = {text::kSharpness, text::kBrightness, text::kContrast, text::kSaturation};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(new QLabel(Tr(labels[i]), this), i + 1, 0);
    grid->addWidget(sliders_[kSharpness + i], i + 1, 1, 1, 2);
  }

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(MakeFilterButton(this, "log_filter", ":/icons/filter_log.svg", text::kTooltipLogFilter));
  bottom->addWidget(MakeFilterButton(this, "median_filter", ":/icons/filter_median.svg", text::kTooltipMedianFilter));
  bottom->addWidget(
      MakeFilterButton(this, "equalize_histogram", ":/icons/filter_equalize.svg", text::kTooltipEqualizeHistogram));
  bottom->addStretch();
  bottom->addWidget(defaults);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 6, 6, 10);
  layout->setSpacing(6);
  layout->addLayout(top);
  layout->addLayout(grid);
  layout->addLayout(bottom);
}

void ImageAdjustPanel::SetSensitivityHooks(SensitivityGetter get, SensitivitySetter set) {
  getSensitivity_ = std::move(get);
  setSensitivity_ = std::move(set);
}

bool ImageAdjustPanel::ValidCamera() const { return camera_ >= 0 && camera_ < display::kCameras; }

void ImageAdjustPanel::SetCamera(int camera) {
  camera_ = camera;
  Reload();
}

void ImageAdjustPanel::Reload() {
  const bool valid = ValidCamera() && display_ != nullptr;
  for (QSlider* slider : sliders_) slider->setEnabled(valid);
  loading_ = true;
  int sensitivity = kDefaultSensitivity;
  if (valid && getSensitivity_) sensitivity = getSensitivity_(camera_);
  sliders_[kSensitivity]->setValue(sensitivity);
  sliders_[kSharpness]->setValue(valid ? display_->GetFilterMode(camera_) : 0);
  sliders_[kBrightness]->setValue(valid ? display_->GetBrightness(camera_) : 0);
  sliders_[kContrast]->setValue(valid ? display_->GetContrast(camera_) : 0);
  sliders_[kSaturation]->setValue(valid ? display_->GetColourfulness(camera_) : 0);
  loading_ = false;
  // The slider's own value: a getter's answer outside 0..100 shows as the slider clamped it.
  sensitivityText_->setText(QString::number(sliders_[kSensitivity]->value()));
}

void ImageAdjustPanel::OnSliderMoved(Slider which, int value) {
  if (which == kSensitivity) sensitivityText_->setText(QString::number(value));
  if (loading_ || !ValidCamera() || display_ == nullptr) return;
  // The display's setters redraw the camera.
  switch (which) {
    case kSensitivity:
      if (setSensitivity_) setSensitivity_(camera_, value);
      break;
    case kSharpness: display_->SetFilterMode(camera_, value); break;
    case kBrightness: display_->SetBrightness(camera_, value); break;
    case kContrast: display_->SetContrast(camera_, value); break;
    case kSaturation: display_->SetColourfulness(camera_, value); break;
    case kSliderCount: break;
  }
}

void ImageAdjustPanel::RestoreDefaults() {
  if (!ValidCamera() || display_ == nullptr) return;
  display_->SetContrast(camera_, 0);
  display_->SetBrightness(camera_, 0);
  display_->SetColourfulness(camera_, 0);
  display_->SetFilterMode(camera_, 0);
  Reload();
}

void ImageAdjustPanel::paintEvent(QPaintEvent*) {
  // The two-tone border of the program's windows; the background is the palette's.
  QPainter painter(this);
  const int right = width() - 1;
  const int bottom = height() - 1;
  painter.setPen(Qt::white);
  painter.drawLine(0, bottom, 0, 0);
  painter.drawLine(0, 0, right, 0);
  painter.setPen(shell::theme::kBorderShadow);
  painter.drawLine(right, 0, right, bottom);
  painter.drawLine(right, bottom, 0, bottom);
}

// The panel has no caption: its whole body is the handle. Presses on the sliders and buttons stay
// with them; only what reaches the panel itself starts a drag.
void ImageAdjustPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  dragging_ = true;
  dragWindowPos_ = pos();
  dragCursorPos_ = event->globalPosition().toPoint();
  event->accept();
}

void ImageAdjustPanel::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  move(dragWindowPos_ + event->globalPosition().toPoint() - dragCursorPos_);
  event->accept();
}

void ImageAdjustPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging_) {
    dragging_ = false;
    event->accept();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

}  // namespace strixc::browser
