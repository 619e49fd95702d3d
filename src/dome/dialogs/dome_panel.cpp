#include "dome/dialogs/dome_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "dome/dialogs/dome_panel_button.h"
#include "shell/key_capture_field.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::dome {

namespace {

using shell::Tr;
using shell::TrFormat;
namespace text = shell::text;
using Glyph = DomePanelButton::Glyph;

constexpr int kDirectionDiameter = 30;
constexpr int kSpeedDiameter = 26;
constexpr int kPresetDiameter = 24;
constexpr int kCloseDiameter = 18;

struct DirectionButton {
  const char* name;
  Glyph glyph;
  int tooltip;
};
// In the order of PanelDirection, which is the index each button reports.
constexpr DirectionButton kDirectionButtons[kPanelDirections] = {
    {"left", Glyph::kLeft, text::kDomeLeft},         {"right", Glyph::kRight, text::kDomeRight},
    {"up", Glyph::kUp, text::kDomeUp},               {"down", Glyph::kDown, text::kDomeDown},
    {"zoom_in", Glyph::kZoomIn, text::kDomeZoomIn},  {"zoom_out", Glyph::kZoomOut, text::kDomeZoomOut},
};

struct SpeedButton {
  const char* name;
  Glyph glyph;
  int tooltip;
  double speed;
};
constexpr SpeedButton kSpeedButtons[3] = {
    {"slow", Glyph::kSlow, text::kDomeSlow, DomePanelModel::kSlow},
    {"normal", Glyph::kNormal, text::kDomeNormal, DomePanelModel::kNormal},
    {"fast", Glyph::kFast, text::kDomeFast, DomePanelModel::kFast},
};

DomePanelButton* Make(QWidget* parent, const QString& name, Glyph glyph, int diameter, const QString& tooltip,
                      int digit = 0) {
  auto* button = new DomePanelButton(glyph, diameter, parent, digit);
  button->setObjectName(name);
  button->SetTooltip(tooltip);
  return button;
}

}  // namespace

DomePanel::DomePanel(DomeControl& control, QWidget* parent) : DialogFrame(parent), model_(control) {
  SetCaption(Tr(text::kTooltipDomeControlPanel));
  setModal(false);

  auto* close = Make(this, QStringLiteral("close"), Glyph::kClose, kCloseDiameter, QString());
  connect(close, &DomePanelButton::clicked, this, &QWidget::close);
  auto* top = new QHBoxLayout;
  // The caption tab is painted under this row: the close button stays right of it in every language.
  top->addSpacing(TabRect().width() - 8);
  top->addStretch();
  top->addWidget(close);

  for (int i = 0; i < kPanelDirections; ++i) {
    const DirectionButton& d = kDirectionButtons[i];
    auto* button = Make(this, QString::fromLatin1(d.name), d.glyph, kDirectionDiameter, Tr(d.tooltip));
    button->SetPressNotify(i);
    connect(button, &DomePanelButton::PressChanged, this, &DomePanel::OnPressChanged);
    connect(button, &DomePanelButton::clicked, this,
            [this, i] { model_.Click(static_cast<PanelDirection>(i)); });
    directions_[i] = button;
  }
  auto* step = Make(this, QStringLiteral("step"), Glyph::kStep, kDirectionDiameter, Tr(text::kDomeStep));
  step->SetToggleMode(true);
  connect(step, &DomePanelButton::Toggled, this, [this](bool on) { model_.SetStepMode(on); });

  auto* pad = new QGridLayout;
  pad->setSpacing(2);
  pad->addWidget(directions_[int(PanelDirection::kUp)], 0, 1);
  pad->addWidget(directions_[int(PanelDirection::kLeft)], 1, 0);
  pad->addWidget(step, 1, 1);
  pad->addWidget(directions_[int(PanelDirection::kRight)], 1, 2);
  pad->addWidget(directions_[int(PanelDirection::kDown)], 2, 1);
  pad->addWidget(directions_[int(PanelDirection::kZoomIn)], 0, 4);
  pad->addWidget(directions_[int(PanelDirection::kZoomOut)], 2, 4);
  pad->setColumnMinimumWidth(3, 6);

  auto* presets = new QGridLayout;
  presets->setSpacing(3);
  for (int n = 1; n <= 9; ++n) {
    auto* button = Make(this, QStringLiteral("preset_%1").arg(n), Glyph::kDigit, kPresetDiameter,
                        TrFormat(text::kDomePresetPosition, n).trimmed(), n);
    connect(button, &DomePanelButton::clicked, this, [this, n] { model_.RecallPreset(n); });
    presets->addWidget(button, (n - 1) / 3, (n - 1) % 3);
  }

  auto* speeds = new QHBoxLayout;
  speeds->setSpacing(3);
  for (int i = 0; i < 3; ++i) {
    const SpeedButton& s = kSpeedButtons[i];
    speedButtons_[i] = Make(this, QString::fromLatin1(s.name), s.glyph, kSpeedDiameter, Tr(s.tooltip));
    const double speed = s.speed;
    connect(speedButtons_[i], &DomePanelButton::clicked, this, [this, speed] { ChooseSpeed(speed); });
    speeds->addWidget(speedButtons_[i]);
  }
  speeds->addSpacing(8);
  negate_ = Make(this, QStringLiteral("negate"), Glyph::kNegate, kSpeedDiameter, QStringLiteral("+/-"));
  connect(negate_, &DomePanelButton::clicked, this, [this] {
    model_.Negate();
    ShowSpeed();
  });
  speeds->addWidget(negate_);
  speeds->addStretch();

  auto* middle = new QHBoxLayout;
  middle->setSpacing(16);
  middle->addLayout(pad);
  middle->addLayout(presets);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 6, 8, 12);
  layout->setSpacing(8);
  layout->addLayout(top);
  layout->addLayout(middle);
  layout->addLayout(speeds);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  ShowSpeed();
}

DomePanel::~DomePanel() { model_.Abandon(); }

DomePanelButton* DomePanel::Button(const char* name) const {
  return findChild<DomePanelButton*>(QString::fromLatin1(name));
}

void DomePanel::OnPressChanged(bool pressed, int index) {
  if (index < 0 || index >= kPanelDirections) return;
  const auto direction = static_cast<PanelDirection>(index);
  if (!pressed) {
    model_.Release(direction);
    return;
  }
  // A press posted just before the panel went away must not start a move nobody can stop.
  if (!isVisible()) return;
  model_.Press(direction);
}

void DomePanel::ChooseSpeed(double magnitude) {
  model_.SetSpeed(magnitude);
  ShowSpeed();
}

void DomePanel::ShowSpeed() {
  const double magnitude = model_.Speed() < 0 ? -model_.Speed() : model_.Speed();
  for (int i = 0; i < 3; ++i) speedButtons_[i]->SetChecked(kSpeedButtons[i].speed == magnitude);
  negate_->SetChecked(model_.Speed() < 0);
}

void DomePanel::hideEvent(QHideEvent* event) {
  // The release may never come now (the mouse is released over another window): stop the domes
  // here, and let the held button go so that it does not report a press later.
  model_.Abandon();
  for (DomePanelButton* button : directions_) button->setDown(false);
  dragging_ = false;
  DialogFrame::hideEvent(event);
}

bool DomePanel::OfferKey(QKeyEvent* event, bool down) {
  if (!keyHandler_ || (!down && event->isAutoRepeat())) return false;
  const int vk = shell::VirtualKeyOfQtKey(event->key(), event->modifiers().testFlag(Qt::KeypadModifier));
  if (vk == 0) return false;
  return keyHandler_(vk, shell::ModifierMask(event->modifiers()), down);
}

void DomePanel::keyPressEvent(QKeyEvent* event) {
  if (OfferKey(event, true)) {
    event->accept();
    return;
  }
  DialogFrame::keyPressEvent(event);
}

void DomePanel::keyReleaseEvent(QKeyEvent* event) {
  if (OfferKey(event, false)) {
    event->accept();
    return;
  }
  DialogFrame::keyReleaseEvent(event);
}

void DomePanel::mousePressEvent(QMouseEvent* event) {
  // The buttons take their own presses; anywhere else on the body drags the panel.
  if (event->button() == Qt::LeftButton) {
    dragging_ = true;
    dragWindowPos_ = pos();
    dragCursorPos_ = event->globalPosition().toPoint();
    event->accept();
    return;
  }
  DialogFrame::mousePressEvent(event);
}

void DomePanel::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    move(dragWindowPos_ + (event->globalPosition().toPoint() - dragCursorPos_));
    event->accept();
    return;
  }
  DialogFrame::mouseMoveEvent(event);
}

void DomePanel::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && event->button() == Qt::LeftButton) {
    dragging_ = false;
    event->accept();
    return;
  }
  DialogFrame::mouseReleaseEvent(event);
}

}  // namespace strixc::dome
