#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <vector>

#include "dome/dialogs/dome_panel.h"
#include "dome/dialogs/dome_panel_button.h"
#include "dome/dome_control.h"
#include "dome/dome_recorder.h"

namespace strixc::dome {
namespace {

using test::DomeRecorder;

DomeRequest Request(uint16_t command, std::array<double, 6> p = {}) { return test::Request(1, command, p); }

// The operator's mouse on the panel's buttons; the buttons post their presses, so each gesture
// lets the event loop deliver them before the test looks.
class PanelTest : public testing::Test {
 protected:
  PanelTest() : control_(&sink_), panel_(control_, nullptr) { panel_.show(); }

  DomePanelButton* Button(const char* name) {
    DomePanelButton* button = panel_.Button(name);
    EXPECT_NE(button, nullptr) << name;
    return button;
  }
  void Mouse(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
    QApplication::processEvents();
  }
  void Press(const char* name) { Mouse(Button(name), QEvent::MouseButtonPress, Button(name)->rect().center()); }
  void Release(const char* name, bool inside = true) {
    DomePanelButton* b = Button(name);
    Mouse(b, QEvent::MouseButtonRelease, inside ? b->rect().center() : QPoint(-30, -30));
  }
  void Click(const char* name) {
    Press(name);
    Release(name);
  }

  DomeRecorder sink_;
  DomeControl control_;
  DomePanel panel_;
};

TEST_F(PanelTest, HeldDirectionMovesAtTheChosenSpeedAndStopsOnRelease) {
  EXPECT_DOUBLE_EQ(panel_.Model().Speed(), DomePanelModel::kNormal);
  Click("fast");
  Press("left");
  Release("left");
  EXPECT_EQ(sink_.requests, (std::vector<DomeRequest>{Request(code::kMove, {0.7}), Request(code::kMove)}));
}

TEST_F(PanelTest, NegatedSpeedReversesDirectionsAndZoom) {
  Click("fast");
  Click("negate");
  Press("left");
  Release("left");
  Press("zoom_in");
  Release("zoom_in");
  EXPECT_EQ(sink_.requests, (std::vector<DomeRequest>{Request(code::kMove, {-0.7}), Request(code::kMove),
                                                  Request(code::kMove, {0, 0, 1}), Request(code::kMove)}));
  // The speed buttons keep the reversal.
  Click("slow");
  EXPECT_DOUBLE_EQ(panel_.Model().Speed(), -DomePanelModel::kSlow);
}

TEST_F(PanelTest, StepModeSendsOneStepPerClickAndNoMove) {
  Click("slow");
  Click("step");
  ASSERT_TRUE(panel_.Model().StepMode());
  Click("down");
  EXPECT_EQ(sink_.requests, (std::vector<DomeRequest>{Request(code::kStep, {0, 0.2})}));
  // A press dragged off the button is no click: nothing at all.
  Press("up");
  Release("up", false);
  EXPECT_EQ(sink_.requests.size(), 1u);
}

TEST_F(PanelTest, PresetButtonRecallsThePositionBelowItsNumber) {
  Click("preset_5");
  Click("preset_1");
  EXPECT_EQ(sink_.requests, (std::vector<DomeRequest>{Request(code::kRecallPreset, {4}), Request(code::kRecallPreset, {0})}));
}

TEST_F(PanelTest, DomeStopsWhenTheHeldButtonIsLeftOrThePanelHidden) {
  Press("right");
  Release("right", false);
  ASSERT_EQ(sink_.requests, (std::vector<DomeRequest>{Request(code::kMove, {-0.4}), Request(code::kMove)}));

  sink_.requests.clear();
  Press("left");
  control_.SetCamera(5);  // another camera selected while held: the moving one is stopped
  panel_.hide();
  QApplication::processEvents();
  EXPECT_EQ(sink_.requests, (std::vector<DomeRequest>{Request(code::kMove, {0.4}), Request(code::kMove)}));
  EXPECT_FALSE(control_.AnyMoving());
  EXPECT_EQ(panel_.Model().Held(), -1);
}

}  // namespace
}  // namespace strixc::dome
