#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <utility>
#include <vector>

#include "archive/archive_database.h"
#include "shell/about_box.h"
#include "shell/capacity_indicator.h"
#include "shell/hyperlink.h"
#include "shell/in_place_edit.h"
#include "shell/key_capture_field.h"
#include "shell/language.h"
#include "shell/message_box.h"

namespace strixc::shell {
namespace {

constexpr uint64_t kSecond = 10000000;  // archive time units
constexpr uint64_t kHour = 3600 * kSecond;
constexpr uint64_t kDay = 24 * kHour;
constexpr uint64_t kSomeTime = 133000000000000000;  // a 2022 archive time

// ---- Key-capture field.

class KeyCaptureFieldTest : public ::testing::Test {
 protected:
  KeyCaptureFieldTest() {
    QObject::connect(&field_, &KeyCaptureField::KeyCaptured,
                     [this](int key, int modifiers) { reports_.push_back({key, modifiers}); });
  }
  void Press(int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&field_, &event);
  }
  void Release(int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(&field_, &event);
  }

  KeyCaptureField field_;
  std::vector<CapturedKey> reports_;
};

TEST_F(KeyCaptureFieldTest, CtrlShiftLeftIsShownByNameAndReportedWithModifiers3) {
  Press(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(field_.text(), "Ctrl + Shift + Left");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0], (CapturedKey{vk::kLeft, 3}));
  // Letting go of the keys keeps the combination.
  Release(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
  Release(Qt::Key_Control, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(field_.text(), "Ctrl + Shift + Left");
  EXPECT_EQ(reports_.size(), 1u);
}

TEST_F(KeyCaptureFieldTest, ModifierAloneCapturesNoKeyAndReleaseRefreshesTheModifiers) {
  // Events of a modifier key carry the state before it, as the window system reports it; Qt folds
  // the key's own change into modifiers().
  Press(Qt::Key_Shift, Qt::NoModifier);
  EXPECT_EQ(field_.Key(), 0);
  EXPECT_EQ(field_.Modifiers(), kShiftModifier);
  EXPECT_EQ(field_.text(), "Shift + ");
  Press(Qt::Key_Control, Qt::ShiftModifier);
  EXPECT_EQ(field_.Key(), 0);
  EXPECT_EQ(field_.Modifiers(), 3);
  Release(Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(field_.Modifiers(), kShiftModifier);
  Release(Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_EQ(field_.Modifiers(), 0);
  EXPECT_EQ(reports_.back(), (CapturedKey{0, 0}));
  EXPECT_TRUE(field_.text().isEmpty());
}

TEST_F(KeyCaptureFieldTest, StoredBindingIsShownWithoutAReport) {
  field_.SetKey(0x41, kCtrlModifier);
  EXPECT_EQ(field_.text(), "Ctrl + A");
  EXPECT_TRUE(reports_.empty());
}

TEST(KeyCaptureTest, KeysBecomeVirtualKeyCodes) {
  EXPECT_EQ(CaptureKey(Qt::Key_A, Qt::NoModifier), (CapturedKey{0x41, 0}));
  EXPECT_EQ(CaptureKey(Qt::Key_F24, Qt::NoModifier).key, 0x87);
  EXPECT_EQ(CaptureKey(Qt::Key_Escape, Qt::NoModifier).key, 0x1B);
  // Shift+1 arrives as "!" but binds the "1" key.
  EXPECT_EQ(CaptureKey(Qt::Key_Exclam, Qt::ShiftModifier), (CapturedKey{0x31, kShiftModifier}));
  // Alt is never reported as a modifier.
  EXPECT_EQ(CaptureKey(Qt::Key_B, Qt::AltModifier | Qt::ControlModifier).modifiers, kCtrlModifier);
  EXPECT_EQ(CaptureKey(Qt::Key_7, Qt::KeypadModifier).key, vk::kNumpad0 + 7);
  EXPECT_EQ(CaptureKey(Qt::Key_Plus, Qt::KeypadModifier).key, 0x6B);
}

TEST(KeyCaptureTest, ExtendedNumberPadCodesFollowThePadRule) {
  const int expected[10] = {vk::kEnd,  vk::kEnd,   vk::kDown,        vk::kNumpad0 + 3,
                            vk::kLeft, vk::kNumpad0 + 5, vk::kRight, vk::kHome,
                            vk::kUp,   vk::kNumpad0 + 9};
  for (int pad = 0; pad < 10; ++pad) {
    EXPECT_EQ(MapExtendedNumpad(vk::kNumpad0 + pad), expected[pad]) << "pad " << pad;
  }
  EXPECT_EQ(MapExtendedNumpad(0x41), 0x41);
  // With NumLock off the pad's keys arrive as navigation keys and keep the pad's own codes.
  EXPECT_EQ(CaptureKey(Qt::Key_Insert, Qt::KeypadModifier).key, vk::kNumpad0);
  EXPECT_EQ(CaptureKey(Qt::Key_Up, Qt::KeypadModifier).key, vk::kNumpad0 + 8);
  EXPECT_EQ(CaptureKey(Qt::Key_Left, Qt::KeypadModifier), CaptureKey(Qt::Key_4, Qt::KeypadModifier));
  EXPECT_EQ(CaptureKey(Qt::Key_PageDown, Qt::KeypadModifier).key, vk::kNumpad0 + 3);
  EXPECT_EQ(CaptureKey(Qt::Key_Clear, Qt::KeypadModifier).key, vk::kNumpad0 + 5);
  EXPECT_EQ(KeyName(vk::kNumpad0 + 4, 0), "Num 4");
  // The grey navigation keys are not pad keys.
  EXPECT_EQ(CaptureKey(Qt::Key_Insert, Qt::NoModifier).key, vk::kInsert);
}

TEST(KeyCaptureTest, KeyNamesPutAltShiftCtrlInFront) {
  EXPECT_EQ(KeyName(0x41, 0), "A");
  EXPECT_EQ(KeyName(0x74, 0), "F5");
  EXPECT_EQ(KeyName(vk::kDelete, 0), "Delete");
  EXPECT_EQ(KeyName(vk::kHome, kAltModifier | kShiftModifier | kCtrlModifier),
            "Ctrl + Shift + Alt + Home");
}

// ---- Hyperlink.

class HyperlinkTest : public ::testing::Test {
 protected:
  HyperlinkTest() : link_("Maker", "http://example.invalid/") {
    link_.resize(80, 16);
    link_.SetOpener([this](const QUrl& url) {
      opened_.push_back(url.toString());
      return opens_;
    });
    QObject::connect(&link_, &Hyperlink::OpenFailed,
                     [this](const QString& message) { failures_.push_back(message); });
  }
  void Click() {
    const QPointF inside(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, inside, link_.mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, link_.mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&link_, &press);
    QApplication::sendEvent(&link_, &release);
  }
  QColor DrawnColour() const { return link_.palette().color(QPalette::WindowText); }

  Hyperlink link_;
  bool opens_ = true;
  std::vector<QString> opened_;
  std::vector<QString> failures_;
};

TEST_F(HyperlinkTest, ColourFollowsHoverAndVisit) {
  EXPECT_EQ(DrawnColour(), QColor(0, 0, 238));
  EXPECT_EQ(link_.toolTip(), "http://example.invalid/");
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&link_, &enter);
  EXPECT_EQ(DrawnColour(), QColor(255, 0, 0));
  Click();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], "http://example.invalid/");
  EXPECT_EQ(DrawnColour(), QColor(255, 0, 0));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&link_, &leave);
  EXPECT_EQ(DrawnColour(), QColor(85, 26, 139));
  EXPECT_EQ(link_.Colour(), DrawnColour());
}

TEST_F(HyperlinkTest, FailedOpenReportsOnceAndStaysUnvisited) {
  opens_ = false;
  QString reported;
  link_.SetErrorReporter([&reported](const QString& message) { reported = message; });
  Click();
  const QString expected =
      "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename "
      "extension.";
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_EQ(failures_[0], expected);
  EXPECT_EQ(reported, expected);
  EXPECT_EQ(link_.LastError(), expected);
  EXPECT_FALSE(link_.Visited());
  EXPECT_EQ(DrawnColour(), QColor(0, 0, 238));
}

TEST_F(HyperlinkTest, FailedOpenShowsTheMessageToTheOperatorByDefault) {
  opens_ = false;
  QString shown;
  // The program's message box is modal: read it and close it once it is up.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<MessageBox*>(QApplication::activeModalWidget())) {
      if (auto* label = box->findChild<QLabel*>(QStringLiteral("text"))) shown = label->text();
      box->reject();
    }
  });
  poll.start(10);
  link_.show();
  Click();
  EXPECT_TRUE(shown.startsWith("Unable to open hyperlink:")) << shown.toStdString();
}

TEST(HyperlinkErrorTextTest, KnownReasonsHaveTextsOthersShowTheirCode) {
  EXPECT_EQ(HyperlinkErrorText(hyperlink_error::kOutOfResources),
            "The operating system is out\nof memory or resources.");
  EXPECT_EQ(HyperlinkErrorText(hyperlink_error::kSharingViolation),
            "A sharing violation occurred.");
  EXPECT_EQ(HyperlinkErrorText(1234), "Unknown Error (1234) occurred.");
  EXPECT_EQ(HyperlinkErrorText(-7), "Unknown Error (-7) occurred.");
}

TEST(SmallControlsLanguageTest, NamesAndReasonsFollowTheCurrentLanguage) {
  SetLanguageIndex(4);  // French
  ApplyLanguage();
  const QString left = KeyName(vk::kLeft, kCtrlModifier);
  const QString unknown = HyperlinkErrorText(999);
  const QString pageUp = KeyName(0x21, 0);
  QString shiftLeft[3];
  int slot = 0;
  for (const int language : {4, 2, 3}) {
    SetLanguageIndex(language);
    ApplyLanguage();
    shiftLeft[slot++] = KeyName(vk::kLeft, kShiftModifier);
  }
  const QString description = AboutBox().findChild<QLabel*>(QStringLiteral("description"))->text();
  SetLanguageIndex(0);
  ApplyLanguage();
  EXPECT_EQ(left, "Ctrl + Gauche");
  EXPECT_EQ(shiftLeft[0], "Maj + Gauche");
  EXPECT_EQ(shiftLeft[1], "Mayús + Flecha izquierda");
  EXPECT_EQ(shiftLeft[2], "Shift + Strzałka w lewo");
  EXPECT_EQ(pageUp, "Pg. préc.");
  EXPECT_EQ(description, "Stanowisko operatora sieciowych rejestratorów wideo");
  EXPECT_TRUE(unknown.contains("999")) << unknown.toStdString();
  EXPECT_FALSE(unknown.contains("%d"));
}

// ---- Capacity indicator.

bool OnlyBackground(QWidget& widget) {
  const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB888);
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      if (shown.pixelColor(x, y) != CapacityIndicator::kBackground) return false;
    }
  }
  return true;
}

TEST(CapacityIndicatorTest, WithoutDatabaseOrRecordingsOnlyTheBackgroundShows) {
  CapacityIndicator indicator;
  indicator.resize(indicator.sizeHint());
  EXPECT_TRUE(OnlyBackground(indicator));
  EXPECT_EQ(indicator.UsedSize(), 0u);

  QTemporaryDir data;
  archive::ArchiveDatabase database(data.path().toStdString());
  indicator.SetDatabase(&database);
  EXPECT_EQ(indicator.Earliest(), 0u);
  EXPECT_TRUE(OnlyBackground(indicator));
}

TEST(CapacityIndicatorTest, PaintingShowsTheCachedValuesWithoutReadingTheArchive) {
  CapacityIndicator indicator;
  indicator.resize(indicator.sizeHint());
  int reads = 0;
  CapacityValues values;
  indicator.SetReader([&] {
    ++reads;
    return values;
  });
  ASSERT_EQ(reads, 1);
  // An empty archive is painted again and again (the case that once read it on every paint).
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(OnlyBackground(indicator));
  values = {kSomeTime, kSomeTime + kDay, 50, 100};
  EXPECT_TRUE(OnlyBackground(indicator));
  EXPECT_EQ(reads, 1);
  indicator.Refresh();  // what the timer does
  EXPECT_EQ(reads, 2);
  EXPECT_FALSE(OnlyBackground(indicator));
  EXPECT_EQ(indicator.UsedSize(), 50u);
  EXPECT_EQ(reads, 2);
}

TEST(CapacityIndicatorTest, NeverWaitsForABusyArchiveAndReportsClicks) {
  QTemporaryDir data;
  archive::ArchiveDatabase database(data.path().toStdString());
  CapacityIndicator indicator;
  indicator.SetDatabase(&database);
  indicator.SetValues(kSomeTime, kSomeTime + kDay, 50, 100);
  // A rebuild holds the database while it formats; here it waits inside its status text.
  std::promise<void> holding;
  std::promise<void> release;
  std::thread rebuild([&] {
    database.ApplyLocation(0, {}, {}, [&](const std::string&) {
      holding.set_value();
      release.get_future().wait();
    }, {}, true);
  });
  holding.get_future().wait();
  indicator.Refresh();  // returns at once, showing what it showed
  EXPECT_EQ(indicator.UsedSize(), 50u);
  release.set_value();
  rebuild.join();
  indicator.Refresh();
  EXPECT_EQ(indicator.UsedSize(), 0u);

  int clicks = 0;
  QObject::connect(&indicator, &CapacityIndicator::Clicked, [&] { ++clicks; });
  indicator.resize(indicator.sizeHint());
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 20), QPointF(20, 20), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release2(QEvent::MouseButtonRelease, QPointF(20, 20), QPointF(20, 20), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
  QApplication::sendEvent(&indicator, &press);
  QApplication::sendEvent(&indicator, &release2);
  EXPECT_EQ(clicks, 1);
}

TEST(CapacityIndicatorTest, SpanTextGivesDaysAndHoursOnThreeLines) {
  EXPECT_EQ(ArchiveSpanText(kSomeTime, kSomeTime + kDay + 5 * kHour + 59 * 60 * kSecond),
            "Archive:\n1 day\n5 hours");
  EXPECT_EQ(ArchiveSpanText(kSomeTime, kSomeTime), "Archive:\n0 days\n0 hours");
  EXPECT_TRUE(ArchiveSpanText(0, kSomeTime).isEmpty());
  EXPECT_TRUE(ArchiveSpanText(kSomeTime, 0).isEmpty());
  // Each time is cut to whole seconds before subtracting: 0.9 s to 1 h 0.1 s is a whole hour.
  const uint64_t start = kSomeTime + 9 * kSecond / 10;
  EXPECT_EQ(ArchiveSpanText(start, kSomeTime + kHour + kSecond / 10),
            "Archive:\n0 days\n1 hour");
}

TEST(CapacityIndicatorTest, UsedPercentTreatsTinyTotalsAsOne) {
  EXPECT_EQ(UsedPercent(50, 200), 25);
  EXPECT_EQ(UsedPercent(0, 0), 0);
  EXPECT_EQ(UsedPercent(1, 1), 100);
  EXPECT_EQ(UsedPercent(3, 0), 300);
}

TEST(CapacityIndicatorTest, HalvingAveragesEachBlockPerChannel) {
  QImage picture(4, 2, QImage::Format_RGB888);
  picture.setPixelColor(0, 0, QColor(0, 100, 255));
  picture.setPixelColor(1, 0, QColor(10, 100, 255));
  picture.setPixelColor(0, 1, QColor(20, 100, 0));
  picture.setPixelColor(1, 1, QColor(33, 101, 0));
  for (int x = 2; x < 4; ++x) {
    picture.setPixelColor(x, 0, QColor(200, 0, 7));
    picture.setPixelColor(x, 1, QColor(200, 0, 7));
  }
  const QImage halved = HalveByAveraging(picture);
  ASSERT_EQ(halved.size(), QSize(2, 1));
  EXPECT_EQ(halved.pixelColor(0, 0), QColor(15, 100, 127));
  EXPECT_EQ(halved.pixelColor(1, 0), QColor(200, 0, 7));
}

TEST(CapacityIndicatorTest, PieShowsTheUsedColourOnlyWhenSomethingIsUsed) {
  auto hasPieColour = [](const QImage& pie) {
    for (int y = 0; y < pie.height(); ++y) {
      for (int x = 0; x < pie.width(); ++x) {
        if (pie.pixelColor(x, y) == CapacityIndicator::kPieColour) return true;
      }
    }
    return false;
  };
  const QImage half = DrawCapacityPie(50);
  EXPECT_EQ(half.size(), CapacityIndicator::kPieDrawSize);
  EXPECT_TRUE(hasPieColour(half));
  // Centre right is used, centre left is free.
  EXPECT_EQ(half.pixelColor(45, 20), CapacityIndicator::kPieColour);
  EXPECT_EQ(half.pixelColor(15, 20), CapacityIndicator::kBackground);
}

// ---- In-place edit.

class InPlaceEditTest : public ::testing::Test {
 protected:
  InPlaceEditTest() : other_(&window_), edit_(&window_) {
    window_.resize(200, 100);
    other_.setGeometry(0, 60, 100, 20);
    QObject::connect(&edit_, &InPlaceEdit::Ended, [this](int column, int row) {
      ends_.push_back({column, row});
      textAtEnd_ = edit_.text();
      visibleAtEnd_ = edit_.isVisible();
    });
    window_.show();
    window_.activateWindow();
    QApplication::processEvents();
  }

  QWidget window_;
  QLineEdit other_;
  InPlaceEdit edit_;
  std::vector<std::pair<int, int>> ends_;
  QString textAtEnd_;
  bool visibleAtEnd_ = true;
};

TEST_F(InPlaceEditTest, FocusMovingElsewhereEndsTheEditOnce) {
  ASSERT_EQ(QApplication::activeWindow(), &window_);
  edit_.Begin(2, 7, QRect(10, 10, 80, 20), "600");
  EXPECT_TRUE(edit_.isVisible());
  EXPECT_TRUE(edit_.hasFocus());
  EXPECT_EQ(edit_.selectedText(), "600");
  EXPECT_EQ(edit_.geometry(), QRect(10, 10, 80, 20));
  edit_.insert("750");

  other_.setFocus();
  QApplication::processEvents();
  ASSERT_EQ(ends_.size(), 1u);
  EXPECT_EQ(ends_[0], std::make_pair(2, 7));
  EXPECT_EQ(textAtEnd_, "750");
  EXPECT_FALSE(visibleAtEnd_);
  EXPECT_FALSE(edit_.IsEditing());

  QFocusEvent again(QEvent::FocusOut, Qt::MouseFocusReason);
  QApplication::sendEvent(&edit_, &again);
  EXPECT_EQ(ends_.size(), 1u);
}

TEST_F(InPlaceEditTest, EnterEndsOnceAndEscapePutsTheTextBack) {
  edit_.Begin(0, 1, QRect(10, 10, 80, 20), "a");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&edit_, &enter);
  QApplication::processEvents();
  EXPECT_EQ(ends_.size(), 1u);

  edit_.Begin(3, 4, QRect(10, 10, 80, 20), "b");
  edit_.insert("changed");
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&edit_, &escape);
  QApplication::processEvents();
  ASSERT_EQ(ends_.size(), 2u);
  EXPECT_EQ(ends_[1], std::make_pair(3, 4));
  EXPECT_EQ(textAtEnd_, "b");
}

TEST_F(InPlaceEditTest, BeginningAgainEndsTheRunningEditFirst) {
  edit_.Begin(1, 1, QRect(10, 10, 80, 20), "x");
  edit_.Begin(1, 2, QRect(10, 30, 80, 20), "y");
  ASSERT_EQ(ends_.size(), 1u);
  EXPECT_EQ(ends_[0], std::make_pair(1, 1));
  EXPECT_TRUE(edit_.IsEditing());
  EXPECT_TRUE(edit_.isVisible());
}

}  // namespace
}  // namespace strixc::shell
