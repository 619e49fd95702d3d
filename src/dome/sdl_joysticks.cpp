#include "dome/sdl_joysticks.h"

#include <SDL.h>

#include <algorithm>

namespace strixc::dome {

namespace {

constexpr int32_t kSdlAxisMin = -32768;
constexpr int32_t kSdlAxisMax = 32767;

}  // namespace

SdlJoysticks::~SdlJoysticks() {
  if (!started_) return;
  CloseDevice(0);
  CloseDevice(1);
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

bool SdlJoysticks::Start() {
  if (started_) return true;
  if (failed_) return false;
  // The station reads joysticks only while its own window is active, and SDL has no window of
  // its own to judge that by.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  // SDL's events would otherwise take SIGINT and SIGTERM from the program's own handlers, which
  // save the settings and close the archive before the program ends.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
    failed_ = true;
    return false;
  }
  started_ = true;
  return true;
}

void SdlJoysticks::CloseDevice(int id) {
  if (devices_[id]) SDL_JoystickClose(devices_[id]);
  devices_[id] = nullptr;
  caps_[id] = JoystickCaps();
}

void SdlJoysticks::Refresh() {
  // Takes the device-added and device-removed notices from the system; without a pump SDL never
  // learns of a hot-plug.
  SDL_JoystickUpdate();
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_JOYAXISMOTION, SDL_CONTROLLERDEVICEREMAPPED);
  for (int id = 0; id < 2; ++id) {
    if (devices_[id] && !SDL_JoystickGetAttached(devices_[id])) CloseDevice(id);
  }
}

int SdlJoysticks::Open(int id, JoystickCaps* caps) {
  if (id != 0 && id != 1) return joystick_result::kWrongParameter;
  if (!Start()) return joystick_result::kDriverNotFound;
  Refresh();
  // "The first joystick" is whichever device SDL lists first now: after the first one is pulled
  // out, the second takes its place.
  if (id >= SDL_NumJoysticks()) {
    CloseDevice(id);
    return joystick_result::kNotConnected;
  }
  const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(id);
  if (devices_[id] && SDL_JoystickInstanceID(devices_[id]) != instance) CloseDevice(id);
  if (!devices_[id]) {
    SDL_Joystick* device = SDL_JoystickOpen(id);
    if (!device) return joystick_result::kError;
    devices_[id] = device;
    JoystickCaps& c = caps_[id];
    const char* name = SDL_JoystickName(device);
    c.name = name ? name : "";
    c.axisCount = std::max(0, SDL_JoystickNumAxes(device));
    c.buttonCount = std::max(0, SDL_JoystickNumButtons(device));
    c.axisMin.fill(kSdlAxisMin);
    c.axisMax.fill(kSdlAxisMax);
  }
  if (caps) *caps = caps_[id];
  return joystick_result::kOk;
}

int SdlJoysticks::Read(int id, JoystickReading* reading, JoystickCaps* caps) {
  const int r = Open(id, caps);
  if (r != joystick_result::kOk) return r;
  SDL_Joystick* device = devices_[id];
  const JoystickCaps& c = caps_[id];
  *reading = JoystickReading();
  for (int axis = 0; axis < std::min(c.axisCount, 6); ++axis) {
    reading->axes[static_cast<size_t>(axis)] = SDL_JoystickGetAxis(device, axis);
  }
  for (int button = 0; button < std::min(c.buttonCount, 32); ++button) {
    if (SDL_JoystickGetButton(device, button)) reading->buttons |= 1u << button;
  }
  return joystick_result::kOk;
}

std::vector<std::string> SdlJoysticks::Names() {
  std::vector<std::string> names;
  if (!Start()) return names;
  Refresh();
  const int count = SDL_NumJoysticks();
  for (int i = 0; i < count; ++i) {
    const char* name = SDL_JoystickNameForIndex(i);
    names.push_back(name ? name : "");
  }
  return names;
}

}  // namespace strixc::dome
