#pragma once

// The vocabulary of the key and joystick bindings: the stored action ids and the joystick inputs.

namespace strixc::dome {

namespace action {
constexpr int kNone = 0;
constexpr int kLeftRight = 1;  // pan speed
constexpr int kUpDown = 2;     // tilt speed
constexpr int kZoom = 3;       // zoom speed
constexpr int kFocus = 4;      // focus speed
constexpr int kIris = 5;       // iris speed
constexpr int kRecallPosition = 6;
constexpr int kSavePosition = 7;
constexpr int kRecordPattern = 8;
constexpr int kEndPatternRecording = 9;
constexpr int kRunPattern = 10;
constexpr int kSetAuxOutput = 11;
constexpr int kBrowsePosition = 12;
constexpr int kEndBrowse = 13;
constexpr int kShowMenu = 14;
constexpr int kSetAzimuth = 15;
constexpr int kSet = 16;
constexpr int kSetZoom = 17;
constexpr int kSetFocus = 18;
constexpr int kSetIris = 19;
constexpr int kCount = 20;
}  // namespace action

// Whether the action takes a parameter (the settings dialog's editor; the label says which).
bool ActionHasParameter(int action);

// Joystick inputs: 0..5 the X, Y, Z, R, U and V axes, 6 + i the button i + 1.
constexpr int kJoystickAxes = 6;
constexpr int kJoystickButtons = 32;
constexpr int kJoystickInputs = kJoystickAxes + kJoystickButtons;

}  // namespace strixc::dome
