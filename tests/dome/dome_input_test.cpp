#include "dome/dome_input.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "dome/dome_control.h"
#include "dome/sdl_joysticks.h"
#include "dome_recorder.h"
#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace strixc::dome {
namespace {

using test::DomeRecorder;
using test::MoveRequest;
using test::Request;

constexpr int kLeft = 0x25;
constexpr int kUp = 0x26;
constexpr int kF3 = 0x72;
constexpr int kUnboundKey = 0x41;  // 'A'

// A joystick that reads back what the test sets; `connected` false reads as pulled out.
class RecordedJoystick : public JoystickSource {
 public:
  RecordedJoystick() {
    caps.axisCount = 4;
    caps.buttonCount = 12;
    caps.axisMin.fill(0);
    caps.axisMax.fill(1000);
    reading.axes.fill(500);
  }
  int Open(int, JoystickCaps* c) override {
    if (!connected) return joystick_result::kNotConnected;
    *c = caps;
    return joystick_result::kOk;
  }
  int Read(int id, JoystickReading* r, JoystickCaps* c) override {
    if (Open(id, c) != joystick_result::kOk) return joystick_result::kNotConnected;
    *r = reading;
    return joystick_result::kOk;
  }
  std::vector<std::string> Names() override { return {"recorded"}; }

  // The raw position of an axis value in -1..1.
  void SetAxis(int axis, double value) { reading.axes[static_cast<size_t>(axis)] = static_cast<int32_t>(std::lround(500 + 500 * value)); }

  bool connected = true;
  JoystickCaps caps;
  JoystickReading reading;
};

class DomeInputTest : public ::testing::Test {
 protected:
  DomeInputTest() : control_(&sink_), input_(&control_, &joystick_) {}

  std::vector<DomeRequest>& Sent() { return sink_.requests; }

  DomeRecorder sink_;
  DomeControl control_;
  RecordedJoystick joystick_;
  DomeInput input_;
};

TEST_F(DomeInputTest, HeldArrowKeysMoveOnceAndTheirReleaseStops) {
  EXPECT_TRUE(input_.HandleKey(kLeft, 0, true));
  EXPECT_TRUE(input_.HandleKey(kLeft, 0, true)) << "auto-repeat is still the bound key";
  EXPECT_EQ(Sent(), (std::vector{MoveRequest(1, 0.5, 0)})) << "and sends nothing more";
  EXPECT_TRUE(input_.HandleKey(kUp, 0, true));
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0.5, -0.5));
  input_.HandleKey(kUp, 0, false);
  input_.HandleKey(kLeft, 0, false);
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0, 0));
  input_.SetKeyBinding(kLeft, kShiftBit, action::kLeftRight, 1.0);
  input_.HandleKey(kLeft, kShiftBit, true);
  EXPECT_EQ(Sent().back(), MoveRequest(1, 1, 0));
  EXPECT_TRUE(input_.HandleKey(kLeft, 0, false)) << "Shift let go first: the key-up still ends it";
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0, 0));
  EXPECT_FALSE(input_.HandleKey(kUnboundKey, 0, true)) << "left to the window";
  EXPECT_FALSE(input_.HandleKey(kLeft, kCtrlBit, true));
}

TEST_F(DomeInputTest, FunctionKeysRecallAndShiftFunctionKeysSaveOnKeyDownOnly) {
  control_.SetCamera(2);
  input_.HandleKey(kF3, 0, true);
  input_.HandleKey(kF3, 0, true);
  input_.HandleKey(kF3, 0, false);
  input_.HandleKey(kF3, kShiftBit, true);
  EXPECT_EQ(Sent(), (std::vector{Request(2, code::kRecallPreset, {2}), Request(2, code::kSavePreset, {2})}));
}

TEST_F(DomeInputTest, BindingsAddReplaceAndRemove) {
  input_.SetKeyBinding(kUnboundKey, kCtrlBit, action::kZoom, 3.0);
  input_.HandleKey(kUnboundKey, kCtrlBit, true);
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0, 0, 1)) << "3 x 1 is sent as 1";
  input_.HandleKey(kUnboundKey, kCtrlBit, false);
  input_.SetKeyBinding(kLeft, 0, action::kNone, 0);
  Sent().clear();
  EXPECT_FALSE(input_.HandleKey(kLeft, 0, true));
  EXPECT_TRUE(Sent().empty());
  input_.SetEnabled(false);
  EXPECT_FALSE(input_.HandleKey(kF3, 0, true));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(DomeInputTest, DeadZoneAndSensitivityStayWithinZeroAndOne) {
  input_.SetDeadZone(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(input_.DeadZone(), 0.0);
  input_.SetDeadZone(-0.5);
  EXPECT_EQ(input_.DeadZone(), 0.0);
  input_.SetDeadZone(7);
  EXPECT_EQ(input_.DeadZone(), 1.0);
  input_.SetSensitivity(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(input_.Sensitivity(), 0.0);
  EXPECT_EQ(ApplyDeadZone(0.1, 0.2), 0.0);
  EXPECT_DOUBLE_EQ(ApplyDeadZone(0.6, 0.2), 0.5);
  EXPECT_DOUBLE_EQ(ApplyDeadZone(-0.6, 0.2), -0.5);
  EXPECT_DOUBLE_EQ(ApplyDeadZone(-1.0, 0.2), -1.0);
  EXPECT_EQ(ApplyDeadZone(0.99, 1.0), 0.0) << "a dead zone over the whole travel";
  EXPECT_DOUBLE_EQ(AxisValue(5, 5, 5), -1.0) << "an empty range counts as 1";
}

TEST_F(DomeInputTest, StickDeflectionMovesTheDomeAndItsReleaseStops) {
  ASSERT_TRUE(input_.OpenJoystick(0));
  input_.Poll();
  EXPECT_TRUE(Sent().empty() || Sent().back().command != code::kMove) << "a centred stick moves nothing";
  Sent().clear();
  joystick_.SetAxis(0, 1.0);  // full right
  input_.Poll();
  ASSERT_FALSE(Sent().empty());
  EXPECT_EQ(Sent().back(), MoveRequest(1, -1, 0));
  joystick_.SetAxis(0, 0.1);  // inside the dead zone
  input_.Poll();
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0, 0));
}

TEST_F(DomeInputTest, BoundButtonFiresOncePerPress) {
  ASSERT_TRUE(input_.OpenJoystick(1));
  input_.SetJoystickBinding(kJoystickAxes + 0, action::kRecallPosition, 7);
  Sent().clear();
  joystick_.reading.buttons = 1;
  for (int i = 0; i < 5; ++i) input_.Poll();
  joystick_.reading.buttons = 0;
  input_.Poll();
  joystick_.reading.buttons = 1;
  input_.Poll();
  int recalls = 0;
  for (const DomeRequest& r : Sent()) recalls += r.command == code::kRecallPreset && r.p[0] == 7;
  EXPECT_EQ(recalls, 2);
}

// Losing the joystick or the focus while something is held must stop the dome: nothing would
// ever release it otherwise.
TEST_F(DomeInputTest, PulledJoystickAndLostFocusStopTheDome) {
  ASSERT_TRUE(input_.OpenJoystick(0));
  joystick_.SetAxis(1, -1.0);
  input_.Poll();
  ASSERT_EQ(Sent().back(), MoveRequest(1, 0, -1));
  joystick_.connected = false;
  input_.Poll();
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0, 0));
  const size_t count = Sent().size();
  input_.Poll();
  EXPECT_EQ(Sent().size(), count) << "one stop, not one a poll";

  joystick_.connected = true;  // plugged in again, centred: the dome stays still
  joystick_.SetAxis(1, 0);
  input_.Poll();
  input_.HandleKey(kLeft, 0, true);
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0.5, 0));
  input_.ReleaseAll();
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0, 0));
  input_.HandleKey(kLeft, 0, true);
  EXPECT_EQ(Sent().back(), MoveRequest(1, 0.5, 0)) << "the held key counts again once pressed again";
}

TEST_F(DomeInputTest, OpeningAMissingJoystickFailsButPollFindsItWhenPluggedIn) {
  joystick_.connected = false;
  int result = 0;
  EXPECT_FALSE(input_.OpenJoystick(0, &result));
  EXPECT_EQ(result, joystick_result::kNotConnected);
  EXPECT_EQ(input_.JoystickId(), 0);
  input_.Poll();
  joystick_.connected = true;
  joystick_.SetAxis(0, -1.0);
  input_.Poll();
  ASSERT_FALSE(Sent().empty());
  EXPECT_EQ(Sent().back(), MoveRequest(1, 1, 0));
  EXPECT_TRUE(input_.OpenJoystick(5)) << "other ids are accepted and never read";
}

class DomeInputSettingsTest : public DomeInputTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    db_.Open((dir_.path() + "/settings.sqlite").toStdString());
    ASSERT_FALSE(db_.InMemory());
  }
  QTemporaryDir dir_;
  settings::SettingsDatabase db_;
};

TEST_F(DomeInputSettingsTest, BindingsSurviveASaveAndLoad) {
  input_.SetDeadZone(0.35);
  input_.SetJoystickBinding(7, action::kRunPattern, 3);
  input_.SetKeyBinding(kUnboundKey, kShiftBit | kCtrlBit, action::kShowMenu, 0);
  input_.SetKeyBinding(kF3, 0, action::kNone, 0);  // a default the operator removed
  input_.SetEnabled(false);
  ASSERT_TRUE(input_.SaveSettings(db_, "DomeControlInput"));

  DomeInput loaded(&control_, &joystick_);
  ASSERT_TRUE(loaded.LoadSettings(db_, "DomeControlInput"));
  const DomeInputConfig a = input_.Config();
  const DomeInputConfig b = loaded.Config();
  EXPECT_EQ(b.enabled, false);
  EXPECT_EQ(b.deadZone, 0.35);
  EXPECT_EQ(b.joystick, a.joystick);
  ASSERT_EQ(b.keys.size(), a.keys.size());
  for (size_t i = 0; i < a.keys.size(); ++i) {
    EXPECT_EQ(b.keys[i].vk, a.keys[i].vk);
    EXPECT_EQ(b.keys[i].modifiers, a.keys[i].modifiers);
    EXPECT_EQ(b.keys[i].binding, a.keys[i].binding);
  }
}

TEST_F(DomeInputSettingsTest, DamagedStoredValuesFallBackToTheDefaults) {
  {
    settings::SettingsKey key(db_, "DomeControlInput");
    const uint32_t shortValue = 0;
    key.WriteBinary("JoyDeadZone", &shortValue, 4);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    settings::SettingsKey joy(db_, "DomeControlInput\\JoyCmd00");
    joy.WriteDword("Cmd", 99);
    joy.WriteBinary("Param", &nan, 8);
    key.WriteDword("KeyCount", 2);
    settings::SettingsKey k0(db_, "DomeControlInput\\KeyCmd00");
    k0.WriteDword("Cmd", 6);  // no key code
    settings::SettingsKey k1(db_, "DomeControlInput\\KeyCmd01");
    const uint16_t vk = kF3;
    k1.WriteBinary("VirtualKeyCode", &vk, 2);
    k1.WriteBinary("Modifiers", &vk, 2);  // no such modifiers
    k1.WriteDword("Cmd", 6);
    k1.WriteBinary("Param", &nan, 8);
  }
  ASSERT_TRUE(input_.LoadSettings(db_, "DomeControlInput"));
  const DomeInputConfig defaults = DomeInputConfig::Defaults();
  const DomeInputConfig c = input_.Config();
  EXPECT_EQ(c.deadZone, defaults.deadZone);
  EXPECT_EQ(c.joystick, defaults.joystick);
  EXPECT_EQ(c.keys.size(), defaults.keys.size());
}

}  // namespace
}  // namespace strixc::dome

namespace strixc::dome {
namespace {

// No joystick is plugged into a test machine: SDL must say so, not fail or hang.
TEST(SdlJoysticksTest, WithoutADeviceEveryJoystickReadsAsNotConnected) {
  SdlJoysticks joysticks;
  JoystickCaps caps;
  JoystickReading reading;
  const int opened = joysticks.Open(0, &caps);
  EXPECT_TRUE(opened == joystick_result::kNotConnected || opened == joystick_result::kDriverNotFound) << opened;
  EXPECT_EQ(joysticks.Read(1, &reading, &caps), opened);
  EXPECT_EQ(joysticks.Open(2, &caps), joystick_result::kWrongParameter);
  DomeInput input(nullptr, &joysticks);
  int result = 0;
  EXPECT_FALSE(input.OpenJoystick(0, &result));
  EXPECT_EQ(result, opened);
}

}  // namespace
}  // namespace strixc::dome
