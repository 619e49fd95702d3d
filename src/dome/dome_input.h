#pragma once

// Keys and joysticks turned into dome requests for the selected camera. Each key (with its Shift
// and Ctrl state) and each of the 38 joystick inputs can be bound to one dome action with one
// parameter. Continuous actions sum their bound inputs into speeds sent as one move per cycle (a
// key message, or a poll); one-shot actions fire when their input rises past 0.5.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dome/dome_actions.h"
#include "dome/joystick_source.h"

namespace strixc::settings {
class SettingsDatabase;
}

namespace strixc::dome {

class DomeControl;

struct DomeBinding {
  int action = 0;       // dome_actions.h; 0 none
  double parameter = 1.0;
  double last = 0.0;    // the input's value at the previous application

  bool operator==(const DomeBinding& o) const { return action == o.action && parameter == o.parameter; }
};

// Modifier bits of a key code.
constexpr int kShiftBit = 1;
constexpr int kCtrlBit = 2;
// (modifiers << 16) | virtual-key code; Alt is not part of it.
constexpr uint32_t KeyCode(int vk, int modifiers) {
  return (static_cast<uint32_t>(modifiers & 3) << 16) | static_cast<uint32_t>(vk & 0xFFFF);
}

struct KeyBinding {
  int vk = 0;
  int modifiers = 0;
  DomeBinding binding;
};

// What the settings dialog edits on a working copy and stores back.
struct DomeInputConfig {
  bool enabled = true;
  int joystickId = -1;  // -1 none, 0 the first, 1 the second; others accepted, never read
  double deadZone = 0.2;
  double sensitivity = 0.7;
  std::array<DomeBinding, kJoystickInputs> joystick{};
  std::vector<KeyBinding> keys;  // in enumeration order

  // The bindings the program starts with.
  static DomeInputConfig Defaults();
};

// The user-interface thread only. The target and the joystick source are not owned; either may be
// null (no requests, no joystick) and both must outlive the object.
class DomeInput {
 public:
  DomeInput(DomeControl* target, JoystickSource* joysticks);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  int JoystickId() const { return joystickId_; }
  double DeadZone() const { return deadZone_; }
  double Sensitivity() const { return sensitivity_; }
  // Below 0 (and NaN) becomes 0, 1 or more becomes 1.
  void SetDeadZone(double d);
  void SetSensitivity(double s);

  const DomeBinding& JoystickBinding(int index) const { return joystick_[static_cast<size_t>(index)]; }
  // Indexes outside 0..37 are ignored.
  void SetJoystickBinding(int index, int action, double parameter);
  // Action 0 removes the key's binding; any other adds or replaces it.
  void SetKeyBinding(int vk, int modifiers, int action, double parameter);
  int KeyBindingCount() const { return static_cast<int>(keys_.size()); }
  // Whether the key is bound with any Shift and Ctrl state.
  bool BindsKey(int vk) const;
  // The i-th binding in enumeration order (ascending key code); an empty one past the end.
  KeyBinding KeyBindingAt(int i) const;

  DomeInputConfig Config() const;
  // Replaces the whole configuration (the settings dialog's OK), re-opening the joystick.
  void SetConfig(const DomeInputConfig& config);

  // A key message: true when the key is bound (the caller then drops the message). Enabled and
  // with a target only; a bound key applies its binding, and the cycle is flushed either way.
  bool HandleKey(int vk, int modifiers, bool down);
  // Reads the joystick and applies its bindings, then flushes. Enabled, with a target and a
  // joystick id only. A joystick that stops answering (pulled out) releases all its inputs at
  // once, so a moving dome is stopped, and is looked for again at the next poll.
  void Poll();
  // Stores the id and opens that joystick. False with the layer's result code when it fails; ids
  // other than 0 and 1 succeed at once and are never read.
  bool OpenJoystick(int id, int* result = nullptr);
  // The joystick's values as Poll computes them (axes scaled and dead-zoned, buttons 0 or 1), for
  // the settings dialog's live picture. A result code.
  int ReadJoystick(int id, double deadZone, std::array<double, kJoystickInputs>* values);
  const JoystickCaps& Caps() const { return caps_; }

  // Every held key and joystick input back to 0 as if released, the resulting zero move sent, the
  // accumulators reset: the window lost the focus, or the joystick went away.
  void ReleaseAll();
  // Move and position accumulators back to their idle values.
  void Reset();

  // The configuration under `basePath` ("DomeControlInput"), replacing what is stored there. A
  // damaged or missing value leaves the default (or current) one.
  bool SaveSettings(settings::SettingsDatabase& db, const std::string& basePath) const;
  bool LoadSettings(settings::SettingsDatabase& db, const std::string& basePath);

 private:
  void Apply(DomeBinding& binding, double value);
  void Flush();
  void ApplyDefaults();
  bool Store(settings::SettingsDatabase& db, const std::string& basePath) const;

  DomeControl* target_;
  JoystickSource* joysticks_;
  bool enabled_ = true;
  int joystickId_ = -1;
  bool joystickLive_ = false;  // the last read succeeded
  JoystickCaps caps_;
  double deadZone_ = 0.2;
  double sensitivity_ = 0.7;
  std::array<DomeBinding, kJoystickInputs> joystick_{};
  std::map<uint32_t, DomeBinding> keys_;
  std::array<double, 5> move_{};
  std::array<bool, 5> touched_{};
  std::array<double, 5> lastSent_{};
  std::array<double, 5> position_{};
  std::array<bool, 5> positionTouched_{};
};

// The value of a joystick axis from its raw position: -1 at the minimum, 1 at the maximum.
double AxisValue(int32_t position, int32_t min, int32_t max);
// The dead zone applied to an axis value.
double ApplyDeadZone(double value, double deadZone);

}  // namespace strixc::dome
