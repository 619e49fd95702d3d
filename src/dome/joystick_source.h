#pragma once

// What DomeInput needs of a joystick layer: open a device by its number, read its raw axes and
// buttons. The program uses SDL (SdlJoysticks); tests feed recorded readings.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace strixc::dome {

// Result codes of opening and reading; they select the status texts of the settings dialog.
namespace joystick_result {
constexpr int kOk = 0;
constexpr int kDriverNotFound = 6;   // no joystick layer at all
constexpr int kWrongParameter = 11;  // a device number the layer cannot have
constexpr int kNotConnected = 167;   // nothing plugged in under that number (or pulled out)
constexpr int kError = 1;            // anything else
}  // namespace joystick_result

struct JoystickCaps {
  std::string name;
  int axisCount = 0;  // axes beyond the sixth are not used
  int buttonCount = 0;
  std::array<int32_t, 6> axisMin{};
  std::array<int32_t, 6> axisMax{};
};

struct JoystickReading {
  std::array<int32_t, 6> axes{};  // raw positions within the caps' ranges
  uint32_t buttons = 0;           // bit i: button i + 1 held
};

// One thread only (the user-interface thread in the program).
class JoystickSource {
 public:
  virtual ~JoystickSource() = default;
  // Opens device `id` (0 the first, 1 the second), or finds it again after a hot-plug. A result
  // code; `caps` is set on success.
  virtual int Open(int id, JoystickCaps* caps) = 0;
  // Reads the current state of device `id`, opening it when it was plugged in since. A result
  // code; kNotConnected once it has been pulled out. `caps` describes the device read.
  virtual int Read(int id, JoystickReading* reading, JoystickCaps* caps) = 0;
  // The names of the devices present now, in device order.
  virtual std::vector<std::string> Names() = 0;
};

}  // namespace strixc::dome
