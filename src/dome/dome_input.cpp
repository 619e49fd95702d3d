#include "dome/dome_input.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dome/dome_control.h"
#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace strixc::dome {

namespace {

constexpr double kNoPosition = -2.0;  // a position accumulator with nothing to send
// The virtual-key codes of the default bindings.
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;
constexpr int kVkF1 = 0x70;
// More stored key bindings than this are a damaged tree, not a configuration.
constexpr uint32_t kMaxStoredKeys = 4096;

double Clamp01(double v) {
  if (!(v > 0.0)) return 0.0;  // NaN as well
  return v >= 1.0 ? 1.0 : v;
}

double ClampUnit(double v) {
  if (std::isnan(v)) return 0.0;
  return std::clamp(v, -1.0, 1.0);
}

// A binding's parameter as the whole number a one-shot action takes (toward zero; never negative).
unsigned WholeNumber(double p) {
  if (!(p > 0.0)) return 0;
  return p >= 65535.0 ? 65535u : static_cast<unsigned>(p);
}

bool ValidAction(uint32_t action) { return action < static_cast<uint32_t>(action::kCount); }

std::string SubKey(const std::string& base, const char* format, int index) {
  char name[32];
  std::snprintf(name, sizeof name, format, index);
  return base + "\\" + name;
}

}  // namespace

bool ActionHasParameter(int a) {
  return a != action::kNone && a != action::kEndPatternRecording && a != action::kEndBrowse &&
         a != action::kShowMenu;
}

double AxisValue(int32_t position, int32_t min, int32_t max) {
  double range = static_cast<double>(max) - static_cast<double>(min);
  if (range < 1.0) range = 1.0;
  return 2.0 * (static_cast<double>(position) - static_cast<double>(min)) / range - 1.0;
}

double ApplyDeadZone(double x, double deadZone) {
  const double d = Clamp01(deadZone);
  if (std::fabs(x) < d) return 0.0;
  if (d >= 1.0) return 0.0;
  return x > 0.0 ? (x - d) / (1.0 - d) : (x + 1.0) / (1.0 - d) - 1.0;
}

DomeInputConfig DomeInputConfig::Defaults() {
  DomeInputConfig c;
  auto joy = [&](int index, int a, double p) { c.joystick[static_cast<size_t>(index)] = {a, p, 0.0}; };
  joy(0, action::kLeftRight, -1.0);
  joy(1, action::kUpDown, 1.0);
  joy(2, action::kSetZoom, 1.0);
  joy(3, action::kZoom, 1.0);
  joy(kJoystickAxes + 2, action::kZoom, -1.0);  // button 3
  joy(kJoystickAxes + 3, action::kZoom, 1.0);   // button 4
  std::map<uint32_t, KeyBinding> keys;
  auto key = [&](int vk, int modifiers, int a, double p) { keys[KeyCode(vk, modifiers)] = {vk, modifiers, {a, p, 0.0}}; };
  for (int i = 0; i < 10; ++i) {
    key(kVkF1 + i, 0, action::kRecallPosition, i);
    key(kVkF1 + i, kShiftBit, action::kSavePosition, i);
  }
  key(kVkLeft, 0, action::kLeftRight, 0.5);
  key(kVkRight, 0, action::kLeftRight, -0.5);
  key(kVkUp, 0, action::kUpDown, -0.5);
  key(kVkDown, 0, action::kUpDown, 0.5);
  for (const auto& [code, binding] : keys) c.keys.push_back(binding);
  return c;
}

DomeInput::DomeInput(DomeControl* target, JoystickSource* joysticks)
    : target_(target), joysticks_(joysticks) {
  ApplyDefaults();
  Reset();
}

void DomeInput::ApplyDefaults() {
  const DomeInputConfig c = DomeInputConfig::Defaults();
  enabled_ = c.enabled;
  joystickId_ = c.joystickId;
  deadZone_ = c.deadZone;
  sensitivity_ = c.sensitivity;
  joystick_ = c.joystick;
  keys_.clear();
  for (const KeyBinding& k : c.keys) keys_[KeyCode(k.vk, k.modifiers)] = k.binding;
}

void DomeInput::SetDeadZone(double d) { deadZone_ = Clamp01(d); }

void DomeInput::SetSensitivity(double s) { sensitivity_ = Clamp01(s); }

void DomeInput::SetJoystickBinding(int index, int a, double parameter) {
  if (index < 0 || index >= kJoystickInputs) return;
  joystick_[static_cast<size_t>(index)] = {a, parameter, 0.0};
}

void DomeInput::SetKeyBinding(int vk, int modifiers, int a, double parameter) {
  const uint32_t code = KeyCode(vk, modifiers);
  if (a == action::kNone) {
    keys_.erase(code);
    return;
  }
  keys_[code] = {a, parameter, 0.0};
}

bool DomeInput::BindsKey(int vk) const {
  for (int modifiers = 0; modifiers <= (kShiftBit | kCtrlBit); ++modifiers) {
    if (keys_.count(KeyCode(vk, modifiers)) != 0) return true;
  }
  return false;
}

KeyBinding DomeInput::KeyBindingAt(int i) const {
  if (i < 0 || i >= KeyBindingCount()) return {};
  auto it = keys_.begin();
  std::advance(it, i);
  return {static_cast<int>(it->first & 0xFFFF), static_cast<int>(it->first >> 16), it->second};
}

DomeInputConfig DomeInput::Config() const {
  DomeInputConfig c;
  c.enabled = enabled_;
  c.joystickId = joystickId_;
  c.deadZone = deadZone_;
  c.sensitivity = sensitivity_;
  c.joystick = joystick_;
  for (int i = 0; i < KeyBindingCount(); ++i) c.keys.push_back(KeyBindingAt(i));
  for (DomeBinding& b : c.joystick) b.last = 0.0;
  for (KeyBinding& k : c.keys) k.binding.last = 0.0;
  return c;
}

void DomeInput::SetConfig(const DomeInputConfig& config) {
  // Whatever is held now belongs to the old bindings: let it go first.
  ReleaseAll();
  enabled_ = config.enabled;
  SetDeadZone(config.deadZone);
  SetSensitivity(config.sensitivity);
  for (int i = 0; i < kJoystickInputs; ++i) {
    const DomeBinding& b = config.joystick[static_cast<size_t>(i)];
    SetJoystickBinding(i, b.action, b.parameter);
  }
  keys_.clear();
  for (const KeyBinding& k : config.keys) SetKeyBinding(k.vk, k.modifiers, k.binding.action, k.binding.parameter);
  OpenJoystick(config.joystickId);
}

bool DomeInput::HandleKey(int vk, int modifiers, bool down) {
  if (!enabled_ || !target_) return false;
  bool handled = false;
  const auto it = keys_.find(KeyCode(vk, modifiers));
  if (it != keys_.end()) {
    Apply(it->second, down ? 1.0 : 0.0);
    handled = true;
  }
  if (!down) {
    // Shift or Ctrl let go before the key itself: the key-up carries other modifiers than its
    // key-down did, and the binding that key-down started would never end.
    for (auto& [code, b] : keys_) {
      if ((code & 0xFFFF) != static_cast<uint32_t>(vk & 0xFFFF) || b.last == 0.0) continue;
      Apply(b, 0.0);
      handled = true;
    }
  }
  Flush();
  return handled;
}

void DomeInput::Poll() {
  if (!enabled_ || !target_ || joystickId_ == -1) return;
  std::array<double, kJoystickInputs> values{};
  if (ReadJoystick(joystickId_, deadZone_, &values) != joystick_result::kOk) {
    if (joystickLive_) {
      // Pulled out: nothing will ever release what it held, so release it all now.
      joystickLive_ = false;
      ReleaseAll();
    }
    Flush();
    return;
  }
  joystickLive_ = true;
  for (int i = 0; i < kJoystickInputs; ++i) {
    DomeBinding& b = joystick_[static_cast<size_t>(i)];
    if (b.action != action::kNone) Apply(b, values[static_cast<size_t>(i)]);
  }
  Flush();
}

bool DomeInput::OpenJoystick(int id, int* result) {
  joystickId_ = id;
  caps_ = JoystickCaps();
  joystickLive_ = false;
  int r = joystick_result::kOk;
  if (id == 0 || id == 1) {
    if (!joysticks_) {
      r = joystick_result::kDriverNotFound;
    } else {
      r = joysticks_->Open(id, &caps_);
      if (r == joystick_result::kOk) {
        std::array<double, kJoystickInputs> values{};
        r = ReadJoystick(id, 0.0, &values);
      }
    }
  }
  if (result) *result = r;
  return r == joystick_result::kOk;
}

int DomeInput::ReadJoystick(int id, double deadZone, std::array<double, kJoystickInputs>* values) {
  values->fill(0.0);
  if (id != 0 && id != 1) return joystick_result::kOk;
  if (!joysticks_) return joystick_result::kDriverNotFound;
  JoystickReading reading;
  JoystickCaps caps;
  const int r = joysticks_->Read(id, &reading, &caps);
  if (r != joystick_result::kOk) return r;
  if (id == joystickId_) caps_ = caps;
  for (int axis = 0; axis < kJoystickAxes; ++axis) {
    // X and Y always count; the others only when the device has them.
    if (axis >= 2 && axis >= caps.axisCount) continue;
    const auto a = static_cast<size_t>(axis);
    double v = AxisValue(reading.axes[a], caps.axisMin[a], caps.axisMax[a]);
    if (axis < 2) v = ApplyDeadZone(v, deadZone);
    (*values)[a] = v;
  }
  for (int i = 0; i < kJoystickButtons; ++i) {
    (*values)[static_cast<size_t>(kJoystickAxes + i)] = (reading.buttons >> i) & 1u ? 1.0 : 0.0;
  }
  for (double& v : *values) v = ClampUnit(v);
  return joystick_result::kOk;
}

void DomeInput::Apply(DomeBinding& b, double v) {
  const bool rising = v > 0.5 && b.last < 0.5;
  const bool changed = v != b.last;
  const double p = b.parameter;
  if (rising && target_) {
    switch (b.action) {
      case action::kRecallPosition: target_->RecallPreset(WholeNumber(p)); break;
      case action::kSavePosition: target_->SavePreset(WholeNumber(p)); break;
      case action::kRecordPattern: target_->RecordPattern(WholeNumber(p)); break;
      case action::kEndPatternRecording: target_->EndPatternRecording(); break;
      // The bound pattern rides in p0, where a server that runs its only pattern finds 0 or ignores it.
      case action::kRunPattern: target_->RunPattern(WholeNumber(p)); break;
      // The state 1 in p0 as always; the bound output number follows in p1.
      case action::kSetAuxOutput: target_->Send(code::kSetAuxOutput, {1.0, double(WholeNumber(p))}); break;
      case action::kBrowsePosition: target_->Browse(0, 98, WholeNumber(p * 1000.0)); break;
      case action::kEndBrowse: target_->EndBrowse(); break;
      case action::kShowMenu: target_->ShowMenu(); break;
      default: break;
    }
  }
  if (changed) {
    if (b.action >= action::kLeftRight && b.action <= action::kIris) {
      const auto axis = static_cast<size_t>(b.action - action::kLeftRight);
      if (!touched_[axis]) {
        move_[axis] = 0.0;
        touched_[axis] = true;
      }
      move_[axis] += p * v;
    } else if (b.action >= action::kSetAzimuth && b.action <= action::kSetIris) {
      const auto axis = static_cast<size_t>(b.action - action::kSetAzimuth);
      if (!positionTouched_[axis]) {
        position_[axis] = 0.0;
        positionTouched_[axis] = true;
      }
      position_[axis] += p * v;
    }
  }
  b.last = v;
}

void DomeInput::Flush() {
  if (std::any_of(touched_.begin(), touched_.end(), [](bool t) { return t; })) {
    for (double& m : move_) m = ClampUnit(m);
    if (move_ != lastSent_ && target_) target_->Move(move_[0], move_[1], move_[2], move_[3], move_[4]);
    lastSent_ = move_;
    touched_.fill(false);
  }
  if (std::any_of(positionTouched_.begin(), positionTouched_.end(), [](bool t) { return t; })) {
    std::array<double, 6> p;
    p.fill(kNoPosition);
    // Azimuth, "Set", zoom and iris where the server has always found them; focus after them.
    constexpr size_t kField[5] = {0, 1, 2, 4, 3};
    for (size_t i = 0; i < 5; ++i) {
      if (positionTouched_[i]) p[kField[i]] = ClampUnit(position_[i]);
    }
    if (target_) target_->SetPosition(p);
    position_.fill(kNoPosition);
    positionTouched_.fill(false);
  }
}

void DomeInput::ReleaseAll() {
  for (auto& [code, b] : keys_) b.last = 0.0;
  for (DomeBinding& b : joystick_) b.last = 0.0;
  const bool moving = std::any_of(lastSent_.begin(), lastSent_.end(), [](double v) { return v != 0.0; });
  if (moving && target_) target_->Move(0.0, 0.0, 0.0, 0.0, 0.0);
  Reset();
}

void DomeInput::Reset() {
  move_.fill(0.0);
  touched_.fill(false);
  lastSent_.fill(0.0);
  position_.fill(kNoPosition);
  positionTouched_.fill(false);
}

bool DomeInput::SaveSettings(settings::SettingsDatabase& db, const std::string& basePath) const {
  // All of it or nothing: a half-written list of keys would load as a different configuration.
  return db.Transaction([&] { return Store(db, basePath); });
}

bool DomeInput::Store(settings::SettingsDatabase& db, const std::string& basePath) const {
  settings::SettingsKey key(db, basePath);
  bool ok = key.Clear();
  ok &= key.WriteDword("Enabled", enabled_ ? 1u : 0u);
  ok &= key.WriteDword("JoyID", static_cast<uint32_t>(joystickId_));
  ok &= key.WriteBinary("JoySensivity", &sensitivity_, sizeof sensitivity_);
  ok &= key.WriteBinary("JoyDeadZone", &deadZone_, sizeof deadZone_);
  for (int k = 0; k < kJoystickInputs; ++k) {
    settings::SettingsKey sub(db, SubKey(basePath, "JoyCmd%02d", k));
    const DomeBinding& b = joystick_[static_cast<size_t>(k)];
    ok &= sub.WriteDword("Cmd", static_cast<uint32_t>(b.action));
    ok &= sub.WriteBinary("Param", &b.parameter, sizeof b.parameter);
  }
  ok &= key.WriteDword("KeyCount", static_cast<uint32_t>(keys_.size()));
  int i = 0;
  for (const auto& [code, b] : keys_) {
    settings::SettingsKey sub(db, SubKey(basePath, "KeyCmd%02d", i++));
    const uint16_t vk = static_cast<uint16_t>(code & 0xFFFF);
    const uint16_t modifiers = static_cast<uint16_t>(code >> 16);
    ok &= sub.WriteBinary("VirtualKeyCode", &vk, sizeof vk);
    ok &= sub.WriteBinary("Modifiers", &modifiers, sizeof modifiers);
    ok &= sub.WriteDword("Cmd", static_cast<uint32_t>(b.action));
    ok &= sub.WriteBinary("Param", &b.parameter, sizeof b.parameter);
  }
  return ok;
}

bool DomeInput::LoadSettings(settings::SettingsDatabase& db, const std::string& basePath) {
  ReleaseAll();
  settings::SettingsKey key(db, basePath);
  uint32_t dword = 0;
  if (key.ReadDword("Enabled", &dword)) enabled_ = dword != 0;
  if (key.ReadDword("JoyID", &dword)) OpenJoystick(static_cast<int32_t>(dword));
  double value = 0.0;
  if (key.ReadBinary("JoySensivity", &value, sizeof value)) SetSensitivity(value);
  if (key.ReadBinary("JoyDeadZone", &value, sizeof value)) SetDeadZone(value);
  for (int k = 0; k < kJoystickInputs; ++k) {
    settings::SettingsKey sub(db, SubKey(basePath, "JoyCmd%02d", k));
    uint32_t cmd = 0;
    double param = 0.0;
    if (sub.ReadDword("Cmd", &cmd) && sub.ReadBinary("Param", &param, sizeof param) && ValidAction(cmd) &&
        std::isfinite(param)) {
      SetJoystickBinding(k, static_cast<int>(cmd), param);
    }
  }
  uint32_t count = 0;
  if (!key.ReadDword("KeyCount", &count) || count > kMaxStoredKeys) return true;
  // The stored list is the whole keyboard configuration: a default the operator removed stays
  // removed.
  std::map<uint32_t, DomeBinding> loaded;
  uint32_t readable = 0;
  for (uint32_t i = 0; i < count; ++i) {
    settings::SettingsKey sub(db, SubKey(basePath, "KeyCmd%02d", static_cast<int>(i)));
    uint16_t vk = 0;
    uint16_t modifiers = 0;
    uint32_t cmd = 0;
    double param = 0.0;
    if (!sub.ReadBinary("VirtualKeyCode", &vk, sizeof vk) || !sub.ReadBinary("Modifiers", &modifiers, sizeof modifiers) ||
        !sub.ReadDword("Cmd", &cmd) || !sub.ReadBinary("Param", &param, sizeof param) || !ValidAction(cmd) ||
        !std::isfinite(param) || modifiers > 3) {
      continue;
    }
    ++readable;
    const uint32_t code = KeyCode(vk, modifiers);
    if (cmd == action::kNone) {
      loaded.erase(code);
    } else {
      loaded[code] = {static_cast<int>(cmd), param, 0.0};
    }
  }
  // Not one readable entry of a non-empty list: damage, and the keys keep what they had.
  if (count > 0 && readable == 0) return true;
  keys_ = std::move(loaded);
  return true;
}

}  // namespace strixc::dome
