#include "control_panel.h"

#include <QIcon>

#include "shell/string_ids.h"
#include "shell/texts.h"
#include "window_geometry.h"

namespace strixc::station {

namespace {

using shell::Tr;
using shell::TrFormat;
namespace text = shell::text;

struct CommandLook {
  const char* icon;
  int tooltip;
  bool enabled;  // commands whose windows do not exist yet stay visible, disabled
};
constexpr CommandLook kLooks[ControlPanel::kCommandCount] = {
    {"rec_off", text::kTooltipRecording, true},
    {"address_book", text::kAddressBook, true},
    {"camera_settings", text::kTooltipCameraSettings, true},
    {"archives", text::kTooltipArchives, true},
    {"connection", text::kConnection, true},
    {"program_settings", text::kProgramSettings, true},
    {"dome_settings", text::kDomeSettings, true},
    {"dome_panel", text::kTooltipDomeControlPanel, true},
};

constexpr int kButtonSize = 30;
constexpr int kButtonTop = 28;
constexpr int kButtonStep = 31;
constexpr int kColumnWidth = 56;

QIcon Icon(const char* name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))); }

const char* InputIcon(int state) {
  return state == net::IoPoint::kUnknown ? "input_unknown" : state ? "input_on" : "input_off";
}

const char* OutputIcon(int state) {
  return state == net::IoPoint::kUnknown ? "output_unknown" : state ? "output_on" : "output_off";
}

}  // namespace

ControlPanel::ControlPanel(QWidget* client) : QObject(client), client_(client) {
  inputStates_.fill(net::IoPoint::kUnknown);
  outputStates_.fill(net::IoPoint::kUnknown);
  for (int c = 0; c < kCommandCount; ++c) {
    auto* button = new shell::PictureButton(client);
    button->SetIcon(Icon(kLooks[c].icon));
    button->setIconSize(QSize(22, 22));
    button->SetTooltip(Tr(kLooks[c].tooltip));
    button->setEnabled(kLooks[c].enabled);
    button->setGeometry(5, kButtonTop + kButtonStep * c, kButtonSize, kButtonSize);
    connect(button, &shell::PictureButton::clicked, this, [this, c] { emit CommandClicked(c); });
    buttons_[c] = button;
  }
  for (int k = 0; k < 7; ++k) {
    auto* button = new shell::PictureButton(TrFormat(text::kMenuLayoutItem, k + 1), client);
    button->SetTooltip(TrFormat(text::kTooltipScreenLayoutNumber, k + 1));
    button->setGeometry(LayoutButtonRect(k));
    connect(button, &shell::PictureButton::clicked, this, [this, k] { emit LayoutClicked(k); });
    layoutButtons_[k] = button;
  }
  for (int i = 0; i < net::kInputCount; ++i) {
    auto* input = new QLabel(client);
    input->setPixmap(Icon(InputIcon(net::IoPoint::kUnknown)).pixmap(14, 14));
    input->setToolTip(Tr(text::kTooltipInput));
    inputs_[i] = input;
  }
  for (int i = 0; i < net::kOutputCount; ++i) {
    auto* output = new shell::PictureButton(client);
    output->SetIcon(Icon(OutputIcon(net::IoPoint::kUnknown)), false);
    output->setIconSize(QSize(20, 20));
    output->SetTooltip(Tr(text::kTooltipOutput));
    connect(output, &shell::PictureButton::clicked, this, [this, i] { emit OutputClicked(i); });
    outputs_[i] = output;
  }
  status_ = new QLabel(client);
  status_->setGeometry(40, 4, 600, 18);
  capacity_ = new shell::CapacityIndicator(client);
  capacity_->setFixedSize(capacity_->sizeHint());
  logo_ = new QLabel(client);
  logo_->setPixmap(Icon("strixc_logo").pixmap(44, 44));
  logo_->setFixedSize(48, 48);
}

void ControlPanel::SetVisible(bool visible) {
  visible_ = visible;
  for (auto* b : buttons_) b->setVisible(visible);
  for (int k = 0; k < 7; ++k) layoutButtons_[k]->setVisible(visible && LayoutButtonShown(k, cameraCount_));
  for (auto* i : inputs_) i->setVisible(visible);
  for (auto* o : outputs_) o->setVisible(visible);
  status_->setVisible(visible);
  capacity_->setVisible(visible);
  logo_->setVisible(visible);
}

void ControlPanel::Layout(int clientWidth) {
  const int x = clientWidth - kColumnWidth;
  status_->setGeometry(40, 4, std::max(100, clientWidth - 40 - kColumnWidth - 10), 18);
  for (int i = 0; i < net::kInputCount; ++i) {
    inputs_[i]->setGeometry(x + 6 + (i % 2) * 22, 28 + (i / 2) * 16, 16, 16);
  }
  const int outputsTop = 28 + 8 * 16 + 8;
  for (int i = 0; i < net::kOutputCount; ++i) {
    outputs_[i]->setGeometry(x + 2 + (i % 2) * 26, outputsTop + (i / 2) * 22, 24, 20);
  }
  const int capacityTop = outputsTop + 6 * 22 + 8;
  capacity_->move(x + 2, capacityTop);
  logo_->move(x + 4, capacityTop + capacity_->height() + 6);
}

void ControlPanel::PlaceLayoutButtons(int cameraCount) {
  cameraCount_ = cameraCount;
  for (int k = 0; k < 7; ++k) {
    const bool shown = LayoutButtonShown(k, cameraCount);
    layoutButtons_[k]->setGeometry(LayoutButtonRectFor(k, cameraCount));
    layoutButtons_[k]->setEnabled(shown);
    layoutButtons_[k]->setVisible(visible_ && shown);
  }
}

bool ControlPanel::LayoutButtonEnabled(int k) const {
  return k >= 0 && k < 7 && layoutButtons_[k]->isEnabled();
}

void ControlPanel::SetStatus(const QString& text) { status_->setText(text); }

void ControlPanel::SetRecordingPicture(RecordingPicture picture) {
  const char* names[] = {"rec_off", "rec_on", "rec_dim", "rec_interrupted"};
  buttons_[kRecording]->SetIcon(Icon(names[static_cast<int>(picture)]));
  if ((picture == RecordingPicture::kInterrupted) != (recordingPicture_ == RecordingPicture::kInterrupted)) {
    buttons_[kRecording]->SetTooltip(Tr(picture == RecordingPicture::kInterrupted ? text::kTooltipRecordingInterrupted
                                                                                  : text::kTooltipRecording));
  }
  recordingPicture_ = picture;
}

void ControlPanel::SetInput(int index, int state, const QString& name) {
  if (index < 0 || index >= net::kInputCount) return;
  inputStates_[index] = state;
  inputs_[index]->setPixmap(Icon(InputIcon(state)).pixmap(14, 14));
  inputs_[index]->setToolTip(name.isEmpty() ? Tr(text::kTooltipInput) : name);
}

void ControlPanel::SetOutput(int index, int state, const QString& name) {
  if (index < 0 || index >= net::kOutputCount) return;
  outputStates_[index] = state;
  outputs_[index]->SetIcon(Icon(OutputIcon(state)), false);
  outputs_[index]->SetTooltip(name.isEmpty() ? Tr(text::kTooltipOutput) : name);
}

}  // namespace strixc::station
