#pragma once

// The joystick layer over SDL's joystick API: the first and the second device SDL lists, six axes
// and 32 buttons each. SDL starts only when a joystick is first asked for, so a station without
// one never loads it. Devices plugged in later are found at the next read; one pulled out reads as
// not connected.

#include <SDL_joystick.h>

#include "dome/joystick_source.h"

namespace strixc::dome {

// One thread only (the user-interface thread).
class SdlJoysticks : public JoystickSource {
 public:
  SdlJoysticks() = default;
  ~SdlJoysticks() override;
  SdlJoysticks(const SdlJoysticks&) = delete;
  SdlJoysticks& operator=(const SdlJoysticks&) = delete;

  int Open(int id, JoystickCaps* caps) override;
  int Read(int id, JoystickReading* reading, JoystickCaps* caps) override;
  std::vector<std::string> Names() override;

 private:
  // Starts SDL's joystick subsystem once; false when it cannot (then every call says so).
  bool Start();
  // Lets SDL notice devices that came and went, and drops handles of those that went.
  void Refresh();
  void CloseDevice(int id);

  bool started_ = false;
  bool failed_ = false;
  SDL_Joystick* devices_[2] = {nullptr, nullptr};
  JoystickCaps caps_[2];
};

}  // namespace strixc::dome
