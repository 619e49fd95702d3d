// The main window's part in dome control: the dome panel and the "Domes ..." settings, the keys
// offered to the bindings before the window's own handling, and the joystick poll.

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

#include "dome/dialogs/dome_panel.h"
#include "dome/dialogs/dome_settings_dialog.h"
#include "main_window.h"
#include "shell/key_capture_field.h"

namespace strixc::station {

namespace {

// The joystick is read this often while one of the program's windows is active.
constexpr int kDomePollMs = 50;

}  // namespace

void MainWindow::SetUpDomes() {
  domePanel_ = new dome::DomePanel(station_.Dome(), this);
  domePanel_->hide();
  domePoll_.setInterval(kDomePollMs);
  connect(&domePoll_, &QTimer::timeout, this, [this] {
    if (QApplication::activeWindow() != nullptr) station_.DomeInputs().Poll();
  });
  domePoll_.start();
  qApp->installEventFilter(this);
  // Keys held while the focus goes elsewhere never come back up here: what they started ends
  // now. The joystick's poll stops with the program's focus, so its moves end too.
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
    if (!IsDomeKeyWindow(window)) station_.StopDomes();
  });
}

bool MainWindow::IsDomeKeyWindow(const QWindow* window) const {
  if (window == nullptr) return false;
  return window == windowHandle() || (domePanel_ != nullptr && window == domePanel_->windowHandle());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
    return QMainWindow::eventFilter(watched, event);
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || !IsDomeKeyWindow(widget->window()->windowHandle())) return false;
  // A key nobody takes travels up the parents and comes by again: a bound key is taken the first
  // time, and an unbound one changes nothing in the bindings however often it is offered.
  auto* key = static_cast<QKeyEvent*>(event);
  const bool down = event->type() == QEvent::KeyPress;
  const shell::CapturedKey captured = shell::CaptureKeyEvent(*key);
  if (captured.key == 0) return false;
  // The auto-repeat's releases are not the operator letting go: a bound key's are dropped.
  if (!down && key->isAutoRepeat()) return station_.DomeInputs().BindsKey(captured.key);
  return station_.DomeInputs().HandleKey(captured.key, captured.modifiers, down);
}

void MainWindow::ToggleDomePanel() {
  if (domePanel_->isVisible()) {
    domePanel_->hide();
    return;
  }
  domePanel_->show();
  domePanel_->raise();
}

void MainWindow::DomeSettingsCommand() {
  dome::DomeSettingsDialog dialog(station_.DomeInputs(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  // Kept at once: the bindings are the operator's work and survive a crash.
  station_.DomeInputs().SaveSettings(station_.Settings(), Station::kDomeKey);
}

}  // namespace strixc::station
