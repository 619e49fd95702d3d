#include "dome/dialogs/dome_settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "dome/dialogs/joystick_picture.h"
#include "shell/key_capture_field.h"
#include "shell/message_box.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::dome {

namespace {

using shell::Tr;
using shell::TrFormat;
namespace text = shell::text;

constexpr int kRefreshMs = 200;
constexpr int kSliderWidth = 140;
constexpr int kBindingListWidth = 330;
constexpr int kListHeight = 300;

constexpr int kActionNames[action::kCount] = {
    text::kDomeActionNone,           text::kDomeActionLeftRight,      text::kDomeActionUpDown,
    text::kDomeActionZoom,           text::kDomeActionFocus,          text::kDomeActionIris,
    text::kDomeActionRecallPosition, text::kDomeActionSavePosition,   text::kDomeActionRecordPattern,
    text::kDomeActionEndPatternRecording, text::kDomeActionRunPattern, text::kDomeActionSetAuxOutput,
    text::kDomeActionBrowsePosition, text::kDomeActionEndBrowse,      text::kDomeActionShowMenu,
    text::kDomeActionSetAzimuth,     text::kDomeActionSet,            text::kDomeActionSetZoom,
    text::kDomeActionSetFocus,       text::kDomeActionSetIris,
};

constexpr int kParameterLabels[action::kCount] = {
    0,
    text::kDomeParamSpeedDirection,  text::kDomeParamSpeedDirection,
    text::kDomeParamDirection,       text::kDomeParamDirection,      text::kDomeParamDirection,
    text::kDomeParamPositionNumber,  text::kDomeParamPositionNumber, text::kDomeParamPatternNumber,
    0,                               text::kDomeParamPatternNumber,  text::kDomeParamOutputNumber,
    text::kDomeParamHoldTime,        0,                              0,
    text::kDomeParamPosition,        text::kDomeParamPosition,       text::kDomeParamPosition,
    text::kDomeParamPosition,        text::kDomeParamPosition,
};

constexpr int kAxisNames[kJoystickAxes] = {text::kJoystickAxisX, text::kJoystickAxisY, text::kJoystickAxisZ,
                                           text::kJoystickAxisR, text::kJoystickAxisU, text::kJoystickAxisV};
constexpr char kAxisLetters[] = "XYZRUV";
constexpr int kJoystickIds[] = {-1, 0, 1};

QString InputName(int input) {
  return input < kJoystickAxes ? Tr(kAxisNames[input]) : TrFormat(text::kJoystickButton, input - kJoystickAxes + 1);
}

QString ParameterText(double p) { return QString::number(p, 'g', 7); }

QString LabelAsColumn(int labelId) {
  // "Position number :" reads as a column's text without its colon.
  QString label = labelId != 0 ? Tr(labelId) : QString();
  while (label.endsWith(QLatin1Char(':')) || label.endsWith(QLatin1Char(' '))) label.chop(1);
  return label.trimmed();
}

int StatusTextOf(int result) {
  switch (result) {
    case joystick_result::kOk: return text::kJoystickReady;
    case joystick_result::kDriverNotFound: return text::kJoystickDriverNotFound;
    case joystick_result::kWrongParameter: return text::kJoystickWrongParameter;
    case joystick_result::kNotConnected: return text::kJoystickNotConnected;
    default: return text::kJoystickInitError;
  }
}

// Keys stay in ascending key-code order, the order the input enumerates them in.
int PutKey(std::vector<KeyBinding>& keys, int vk, int modifiers, const DomeBinding& binding) {
  const uint32_t code = KeyCode(vk, modifiers);
  auto it = std::find_if(keys.begin(), keys.end(), [code](const KeyBinding& k) { return KeyCode(k.vk, k.modifiers) >= code; });
  if (it == keys.end() || KeyCode(it->vk, it->modifiers) != code) {
    it = keys.insert(it, KeyBinding{vk, modifiers & (kShiftBit | kCtrlBit), {}});
  }
  it->binding.action = binding.action;
  it->binding.parameter = binding.parameter;
  return static_cast<int>(it - keys.begin());
}

shell::PictureButton* MakeButton(QWidget* parent, const char* name, int textId) {
  auto* button = new shell::PictureButton(Tr(textId), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QSlider* MakeSlider(QWidget* parent, const char* name, double value) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(0, 100);
  slider->setValue(static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 100)));
  slider->setMinimumWidth(kSliderWidth);
  return slider;
}

}  // namespace

std::optional<double> ParseDomeParameter(const QString& text) {
  QString t = text.trimmed();
  // The operator types the decimal comma of French, Polish or Spanish as readily as the point.
  t.replace(QLatin1Char(','), QLatin1Char('.'));
  bool ok = false;
  const double value = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(value) || std::fabs(value) > kMaxDomeParameter) return std::nullopt;
  return value;
}

int DomeActionNameId(int action) { return action >= 0 && action < action::kCount ? kActionNames[action] : text::kDomeActionNone; }

int DomeParameterLabelId(int action) { return action >= 0 && action < action::kCount ? kParameterLabels[action] : 0; }

DomeSettingsDialog::DomeSettingsDialog(DomeInput& input, QWidget* parent)
    : DialogFrame(parent), input_(input), config_(input.Config()) {
  SetCaption(Tr(text::kDomeSettings));

  auto* apply = MakeButton(this, "apply", text::kApply);
  auto* ok = MakeButton(this, "ok", text::kOk);
  auto* cancel = MakeButton(this, "cancel", text::kCancel);
  connect(apply, &shell::PictureButton::clicked, this, &DomeSettingsDialog::Apply);
  connect(ok, &shell::PictureButton::clicked, this, &DomeSettingsDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  auto* closing = new QHBoxLayout;
  closing->addStretch();
  closing->addWidget(apply);
  closing->addWidget(ok);
  closing->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(12);
  layout->addWidget(BuildBindings());
  layout->addWidget(BuildJoystick());
  layout->addLayout(closing);

  FillBindings(0);
  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, &DomeSettingsDialog::RefreshJoystick);
  timer_->start();
  RefreshJoystick();
}

QWidget* DomeSettingsDialog::BuildBindings() {
  auto* box = new QWidget(this);
  bindings_ = new QTreeWidget(box);
  bindings_->setObjectName("bindings");
  bindings_->setColumnCount(1);
  bindings_->setHeaderLabels({Tr(text::kColumnDomeCommands)});
  bindings_->setRootIsDecorated(false);
  bindings_->setSelectionMode(QAbstractItemView::SingleSelection);
  bindings_->setMinimumSize(kBindingListWidth, kListHeight);
  connect(bindings_, &QTreeWidget::itemSelectionChanged, this, &DomeSettingsDialog::ShowSelected);

  actions_ = new QTreeWidget(box);
  actions_->setObjectName("actions");
  actions_->setColumnCount(2);
  actions_->setHeaderLabels({Tr(text::kColumnDomeAction), Tr(text::kColumnDomeParameter)});
  actions_->setRootIsDecorated(false);
  actions_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int a = 0; a < action::kCount; ++a) {
    actions_->addTopLevelItem(new QTreeWidgetItem({Tr(kActionNames[a]), LabelAsColumn(kParameterLabels[a])}));
  }
  shell::StyleListView(actions_);
  // Every action in view without scrolling sideways, in every language.
  int width = 2 * actions_->frameWidth() + actions_->verticalScrollBar()->sizeHint().width() + 4;
  for (int c = 0; c < 2; ++c) width += actions_->columnWidth(c);
  actions_->setMinimumWidth(width);
  connect(actions_, &QTreeWidget::itemSelectionChanged, this, &DomeSettingsDialog::ActionChosen);

  parameterLabel_ = new QLabel(box);
  parameterLabel_->setObjectName("parameter_label");
  // As wide as the widest label, so that choosing another action does not move the field.
  int labelWidth = 0;
  for (int id : kParameterLabels) {
    if (id != 0) labelWidth = std::max(labelWidth, parameterLabel_->fontMetrics().horizontalAdvance(Tr(id)));
  }
  parameterLabel_->setMinimumWidth(labelWidth + 4);
  parameter_ = new QLineEdit(box);
  parameter_->setObjectName("parameter");
  connect(parameter_, &QLineEdit::editingFinished, this, &DomeSettingsDialog::CommitParameter);

  key_ = new shell::KeyCaptureField(box);
  key_->setObjectName("key");
  connect(key_, &shell::KeyCaptureField::KeyCaptured, this, &DomeSettingsDialog::KeyCaptured);

  auto* add = MakeButton(box, "add", text::kAddNew);
  auto* remove = MakeButton(box, "delete", text::kDelete);
  connect(add, &shell::PictureButton::clicked, this, &DomeSettingsDialog::AddNew);
  connect(remove, &shell::PictureButton::clicked, this, &DomeSettingsDialog::DeleteSelected);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(8);
  fields->addWidget(parameterLabel_, 0, 0);
  fields->addWidget(parameter_, 0, 1);
  fields->addWidget(new QLabel(Tr(text::kDomeKey), box), 1, 0);
  fields->addWidget(key_, 1, 1);
  auto* editing = new QHBoxLayout;
  editing->addWidget(add);
  editing->addWidget(remove);
  editing->addStretch();

  auto* right = new QVBoxLayout;
  right->setContentsMargins(0, 0, 0, 0);
  right->addWidget(actions_, 1);
  right->addLayout(fields);
  right->addLayout(editing);

  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(14);
  layout->addWidget(bindings_, 1);
  layout->addLayout(right);
  return box;
}

QWidget* DomeSettingsDialog::BuildJoystick() {
  auto* box = new QWidget(this);
  joystickChoice_ = new QButtonGroup(box);
  auto* radios = new QHBoxLayout;
  const std::pair<const char*, int> choices[] = {{"disable", text::kDisable}, {"joystick1", text::kJoystick1},
                                                 {"joystick2", text::kJoystick2}};
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(Tr(choices[i].second), box);
    radio->setObjectName(QString::fromLatin1(choices[i].first));
    joystickChoice_->addButton(radio, i);
    radios->addWidget(radio);
  }
  radios->addStretch();
  // A stored id other than -1, 0 and 1 shows "Disable": it reads no joystick either.
  const int chosen = config_.joystickId == 0 ? 1 : config_.joystickId == 1 ? 2 : 0;
  joystickChoice_->button(chosen)->setChecked(true);
  connect(joystickChoice_, &QButtonGroup::idClicked, this, [this](int id) {
    config_.joystickId = kJoystickIds[id];
    RefreshJoystick();
  });

  enable_ = new QCheckBox(Tr(text::kEnable), box);
  enable_->setObjectName("enable");
  enable_->setChecked(config_.enabled);
  connect(enable_, &QCheckBox::toggled, this, [this](bool on) { config_.enabled = on; });

  deadZone_ = MakeSlider(box, "dead_zone", config_.deadZone);
  sensitivity_ = MakeSlider(box, "sensitivity", config_.sensitivity);
  auto* deadZoneValue = new QLabel(QString::number(deadZone_->value()), box);
  auto* sensitivityValue = new QLabel(QString::number(sensitivity_->value()), box);
  for (QLabel* value : {deadZoneValue, sensitivityValue}) {
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100")) + 2);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  connect(deadZone_, &QSlider::valueChanged, this, [this, deadZoneValue](int v) {
    config_.deadZone = v / 100.0;
    deadZoneValue->setNum(v);
  });
  // Stored and kept for the input; the axes are not scaled by it.
  connect(sensitivity_, &QSlider::valueChanged, this, [this, sensitivityValue](int v) {
    config_.sensitivity = v / 100.0;
    sensitivityValue->setNum(v);
  });

  auto* settings = new QGridLayout;
  settings->setVerticalSpacing(8);
  settings->setHorizontalSpacing(8);
  settings->addLayout(radios, 0, 0, 1, 3);
  settings->addWidget(enable_, 1, 0, 1, 3);
  settings->addWidget(new QLabel(Tr(text::kDeadZone), box), 2, 0);
  settings->addWidget(deadZone_, 2, 1);
  settings->addWidget(deadZoneValue, 2, 2);
  settings->addWidget(new QLabel(Tr(text::kSensitivity), box), 3, 0);
  settings->addWidget(sensitivity_, 3, 1);
  settings->addWidget(sensitivityValue, 3, 2);

  picture_ = new JoystickPicture(box);
  picture_->setObjectName("joystick_picture");
  status_ = new QLabel(box);
  status_->setObjectName("joystick_status");
  axis_ = new QLabel(box);
  axis_->setObjectName("joystick_axis");
  auto* live = new QVBoxLayout;
  live->setSpacing(6);
  live->addWidget(picture_);
  live->addWidget(status_);
  live->addWidget(axis_);
  live->addStretch();

  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(24);
  // The settings keep their natural height at the top, however tall the picture beside them is.
  auto* settingsBox = new QWidget(box);
  settingsBox->setLayout(settings);
  settings->setContentsMargins(0, 0, 0, 0);
  settingsBox->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  layout->addWidget(settingsBox, 0, Qt::AlignTop);
  layout->addStretch();
  layout->addLayout(live);
  return box;
}

QString DomeSettingsDialog::RowText(int row) const {
  const DomeBinding* binding = nullptr;
  QString name;
  if (row < kJoystickInputs) {
    binding = &config_.joystick[static_cast<size_t>(row)];
    name = InputName(row);
  } else {
    const KeyBinding& key = config_.keys[static_cast<size_t>(row - kJoystickInputs)];
    binding = &key.binding;
    name = shell::KeyName(key.vk, key.modifiers);
  }
  const QByteArray input = name.toUtf8();
  const QByteArray action = Tr(DomeActionNameId(binding->action)).toUtf8();
  return TrFormat(text::kBindingRow, input.constData(), action.constData(), binding->parameter);
}

void DomeSettingsDialog::FillBindings(int selectRow) {
  {
    const QSignalBlocker quiet(bindings_);
    bindings_->clear();
    const int rows = kJoystickInputs + static_cast<int>(config_.keys.size());
    for (int row = 0; row < rows; ++row) bindings_->addTopLevelItem(new QTreeWidgetItem({RowText(row)}));
    shell::StyleListView(bindings_);
    shell::SelectListItem(bindings_, selectRow);
  }
  ShowSelected();
}

int DomeSettingsDialog::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = bindings_->selectedItems();
  return selected.isEmpty() ? -1 : bindings_->indexOfTopLevelItem(selected.first());
}

DomeBinding* DomeSettingsDialog::SelectedBinding() {
  const int row = SelectedRow();
  if (row < 0) return nullptr;
  if (row < kJoystickInputs) return &config_.joystick[static_cast<size_t>(row)];
  const size_t key = static_cast<size_t>(row - kJoystickInputs);
  return key < config_.keys.size() ? &config_.keys[key].binding : nullptr;
}

int DomeSettingsDialog::RowOfKey(int vk, int modifiers) const {
  const uint32_t code = KeyCode(vk, modifiers);
  for (size_t i = 0; i < config_.keys.size(); ++i) {
    if (KeyCode(config_.keys[i].vk, config_.keys[i].modifiers) == code) return kJoystickInputs + static_cast<int>(i);
  }
  return -1;
}

void DomeSettingsDialog::ShowSelected() {
  const DomeBinding* binding = SelectedBinding();
  if (binding == nullptr) return;
  filling_ = true;
  ShowAction(binding->action);
  parameter_->setText(ParameterText(binding->parameter));
  const int row = SelectedRow();
  if (row >= kJoystickInputs) {
    const KeyBinding& key = config_.keys[static_cast<size_t>(row - kJoystickInputs)];
    key_->SetKey(key.vk, key.modifiers);
  }
  filling_ = false;
}

void DomeSettingsDialog::ShowAction(int action) {
  {
    const QSignalBlocker quiet(actions_);
    shell::SelectListItem(actions_, action);
  }
  const int label = DomeParameterLabelId(action);
  parameterLabel_->setText(label != 0 ? Tr(label) : QString());
  parameter_->setEnabled(label != 0);
}

void DomeSettingsDialog::ActionChosen() {
  const QList<QTreeWidgetItem*> selected = actions_->selectedItems();
  if (selected.isEmpty()) return;
  const int action = actions_->indexOfTopLevelItem(selected.first());
  ShowAction(action);
  if (filling_) return;
  DomeBinding* binding = SelectedBinding();
  if (binding == nullptr || binding->action == action) return;
  binding->action = action;
  bindings_->topLevelItem(SelectedRow())->setText(0, RowText(SelectedRow()));
}

bool DomeSettingsDialog::CommitParameter() {
  if (committing_ || filling_) return true;
  DomeBinding* binding = SelectedBinding();
  const double current = binding != nullptr ? binding->parameter : 0.0;
  if (parameter_->text() == ParameterText(current) && binding != nullptr) return true;
  const std::optional<double> value = ParseDomeParameter(parameter_->text());
  if (!value) {
    // The message box takes the focus, which ends the editing again: one message per mistake.
    committing_ = true;
    Warn(text::kInvalidDomeParameter);
    parameter_->setText(binding != nullptr ? ParameterText(current) : QString());
    committing_ = false;
    return false;
  }
  if (binding == nullptr) return true;  // kept in the field for "Add new"
  binding->parameter = *value;
  parameter_->setText(ParameterText(*value));
  bindings_->topLevelItem(SelectedRow())->setText(0, RowText(SelectedRow()));
  return true;
}

void DomeSettingsDialog::KeyCaptured(int key, int modifiers) {
  if (key == 0) return;  // Shift or Ctrl alone: the key is still to come
  const int row = RowOfKey(key, modifiers);
  const QSignalBlocker quiet(bindings_);
  if (row >= 0) {
    shell::SelectListItem(bindings_, row);
    filling_ = true;
    const DomeBinding& b = config_.keys[static_cast<size_t>(row - kJoystickInputs)].binding;
    ShowAction(b.action);
    parameter_->setText(ParameterText(b.parameter));
    filling_ = false;
  } else {
    // A new key: what is chosen next is for "Add new", not for the row selected before.
    bindings_->clearSelection();
  }
}

void DomeSettingsDialog::AddNew() {
  if (key_->Key() == 0) {
    Warn(text::kPressKeyToBind);
    return;
  }
  const QList<QTreeWidgetItem*> chosen = actions_->selectedItems();
  const int action = chosen.isEmpty() ? action::kNone : actions_->indexOfTopLevelItem(chosen.first());
  if (action == action::kNone) {
    Warn(text::kChooseDomeAction);
    return;
  }
  DomeBinding binding;
  binding.action = action;
  if (parameter_->isEnabled()) {
    const std::optional<double> value = ParseDomeParameter(parameter_->text());
    if (!value) {
      Warn(text::kInvalidDomeParameter);
      return;
    }
    binding.parameter = *value;
  }
  const int index = PutKey(config_.keys, key_->Key(), key_->Modifiers(), binding);
  FillBindings(kJoystickInputs + index);
}

void DomeSettingsDialog::DeleteSelected() {
  const int row = SelectedRow();
  if (row < 0) return;
  if (row < kJoystickInputs) {
    config_.joystick[static_cast<size_t>(row)] = DomeBinding{};
    FillBindings(row);
    return;
  }
  config_.keys.erase(config_.keys.begin() + (row - kJoystickInputs));
  FillBindings(std::min(row, kJoystickInputs + static_cast<int>(config_.keys.size()) - 1));
}

bool DomeSettingsDialog::Apply() {
  if (!CommitParameter()) return false;
  input_.SetConfig(config_);
  // What the input kept (values clamped, "None" keys dropped) is what the dialog edits from now on.
  const int row = SelectedRow();
  config_ = input_.Config();
  FillBindings(std::min(row, kJoystickInputs + static_cast<int>(config_.keys.size()) - 1));
  RefreshJoystick();
  return true;
}

void DomeSettingsDialog::accept() {
  if (!Apply()) return;
  DialogFrame::accept();
}

void DomeSettingsDialog::RefreshJoystick() {
  std::array<double, kJoystickInputs> values{};
  if (config_.joystickId != 0 && config_.joystickId != 1) {
    picture_->SetValues(values, false);
    status_->setText(Tr(text::kNoJoystickChosen));
    axis_->clear();
    return;
  }
  const int result = input_.ReadJoystick(config_.joystickId, config_.deadZone, &values);
  const bool live = result == joystick_result::kOk;
  if (!live) values = {};
  picture_->SetValues(values, live);
  status_->setText(Tr(StatusTextOf(result)));
  if (!live) {
    axis_->clear();
    return;
  }
  // The axis that is moved furthest, X while all rest.
  int moved = 0;
  for (int i = 1; i < kJoystickAxes; ++i) {
    if (std::fabs(values[static_cast<size_t>(i)]) > std::fabs(values[static_cast<size_t>(moved)])) moved = i;
  }
  const char letter[2] = {kAxisLetters[moved], 0};
  axis_->setText(TrFormat(text::kJoystickAxisState, letter,
                          static_cast<int>(std::lround(values[static_cast<size_t>(moved)] * 100))));
}

void DomeSettingsDialog::Warn(int textId) {
  shell::MessageBox::Show(this, textId, shell::MessageStyle::kOk, Tr(text::kDomeSettings));
}

}  // namespace strixc::dome
