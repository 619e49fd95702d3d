// The main window's menu bar, its popup menu on the video area, and the tray icon with its menu.

#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "control_panel.h"
#include "main_window.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::station {

namespace {

using shell::Tr;
using shell::TrFormat;
namespace text = shell::text;

// An action whose window comes later: visible, but disabled.
QAction* AddLater(QMenu* menu, int textId) {
  QAction* action = menu->addAction(Tr(textId));
  action->setEnabled(false);
  return action;
}

}  // namespace

void MainWindow::BuildMenus() {
  QMenu* tools = menuBar()->addMenu(Tr(text::kMenuTools));
  connect(tools->addAction(Tr(text::kMenuConnection)), &QAction::triggered, this, &MainWindow::ConnectCommand);
  connect(tools->addAction(Tr(text::kMenuAddressBook)), &QAction::triggered, this, &MainWindow::AddressBookCommand);
  tools->addSeparator();
  remoteArchives_ = tools->addAction(Tr(text::kMenuRemoteArchives));
  remoteArchives_->setEnabled(false);
  connect(remoteArchives_, &QAction::triggered, this, &MainWindow::RemoteArchivesCommand);
  localArchives_ = tools->addAction(Tr(text::kMenuLocalArchives));
  connect(localArchives_, &QAction::triggered, this, &MainWindow::LocalArchivesCommand);
  connect(tools->addAction(Tr(text::kMenuArchivesFromPath)), &QAction::triggered, this,
          &MainWindow::ArchivesFromPathCommand);
  connect(tools, &QMenu::aboutToShow, this, &MainWindow::UpdateArchiveActions);
  connect(tools->addAction(Tr(text::kMenuDomePanel)), &QAction::triggered, this, &MainWindow::ToggleDomePanel);
  tools->addSeparator();
  connect(tools->addAction(Tr(text::kMenuMinimize)), &QAction::triggered, this, &MainWindow::MinimizeCommand);
  connect(tools->addAction(Tr(text::kExit)), &QAction::triggered, this, &MainWindow::ExitChosen);

  QMenu* settings = menuBar()->addMenu(Tr(text::kMenuSettings));
  connect(settings->addAction(Tr(text::kMenuDisplaying)), &QAction::triggered, this,
          &MainWindow::DisplaySettingsCommand);
  connect(settings->addAction(Tr(text::kMenuArchives)), &QAction::triggered, this,
          &MainWindow::ArchiveLocationsCommand);
  connect(settings->addAction(Tr(text::kMenuDomes)), &QAction::triggered, this, &MainWindow::DomeSettingsCommand);

  connect(menuBar()->addAction(Tr(text::kMenuAbout)), &QAction::triggered, this, &MainWindow::AboutCommand);
}

void MainWindow::OpenPopup(const QPoint& globalPosition) {
  QMenu popup(this);
  display::VideoDisplay& display = station_.Display();
  connect(popup.addAction(Tr(text::kMenuConnect)), &QAction::triggered, this, &MainWindow::ConnectCommand);
  popup.addSeparator();

  QMenu* modes = popup.addMenu(Tr(text::kMenuDisplayMode));
  const int modeTexts[] = {text::kMenuNormal, text::kMenuFullscreen, text::kPreview};
  for (int m = 0; m < 3; ++m) {
    QAction* action = modes->addAction(Tr(modeTexts[m]));
    action->setCheckable(true);
    action->setChecked(static_cast<int>(mode_) == m);
    connect(action, &QAction::triggered, this, [this, m] { SetDisplayMode(m); });
  }
  QAction* onTop = popup.addAction(Tr(text::kMenuStayOnTop));
  onTop->setCheckable(true);
  onTop->setChecked(stayOnTop_);
  connect(onTop, &QAction::triggered, this, [this] {
    stayOnTop_ = !stayOnTop_;
    ApplyWindowFlags();
  });
  QAction* menu = popup.addAction(Tr(text::kMenuShowMenu));
  menu->setCheckable(true);
  // In Normal mode the menu bar is always there.
  menu->setChecked(showMenu_ || mode_ == DisplayMode::kNormal);
  menu->setEnabled(mode_ != DisplayMode::kNormal);
  connect(menu, &QAction::triggered, this, [this] {
    showMenu_ = !showMenu_;
    menuBar()->setVisible(mode_ == DisplayMode::kNormal || showMenu_);
    // Preview keeps its video area 4:3: the window grows or shrinks by the menu bar.
    if (mode_ == DisplayMode::kPreview) resize(width(), width() * 3 / 4 + MenuHeight());
    LayoutVideoArea();
  });

  QMenu* layouts = popup.addMenu(Tr(text::kMenuLayout));
  for (int k = 0; k < 7; ++k) {
    QAction* action = layouts->addAction(TrFormat(text::kMenuLayoutItem, k + 1));
    action->setCheckable(true);
    action->setChecked(k == layoutButton_);
    action->setEnabled(panel_->LayoutButtonEnabled(k));
    connect(action, &QAction::triggered, this, [this, k] { SelectLayoutButton(k); });
  }

  QMenu* cameras = popup.addMenu(Tr(text::kMenuVisibleCamera));
  const int count = station_.CameraCount();
  for (int camera = 0; camera < count; ++camera) {
    const QByteArray title = QByteArray::fromStdString(station_.Controller().CameraTitle(camera));
    QAction* action = cameras->addAction(TrFormat(text::kCameraMenuItem, camera + 1, title.constData()));
    action->setCheckable(true);
    action->setChecked(camera == display.GetSelectedCamera());
    connect(action, &QAction::triggered, this, [this, camera] {
      display::VideoDisplay& d = station_.Display();
      d.PlaceCamera(camera, d.CellOfCamera(d.GetSelectedCamera()));
      station_.SendVisibleCameras();
    });
  }
  cameras->setEnabled(count > 0);

  connect(popup.addAction(Tr(text::kMenuSnapshot)), &QAction::triggered, this, &MainWindow::SnapshotCommand);
  popup.addSeparator();
  AddLater(&popup, text::kMenuAddBookmark);
  AddLater(&popup, text::kMenuNextBookmark);
  AddLater(&popup, text::kMenuPreviousBookmark);
  popup.addSeparator();
  connect(popup.addAction(Tr(text::kExit)), &QAction::triggered, this, &MainWindow::ExitChosen);
  popup.exec(globalPosition);
}

void MainWindow::BuildTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(QIcon(":/icons/strixc_logo.svg"), this);
  tray_->setToolTip(Tr(text::kProgramName));
  trayMenu_ = new QMenu(this);
  QAction* showHide = trayMenu_->addAction(Tr(text::kMenuHideProgram));
  connect(showHide, &QAction::triggered, this, &MainWindow::ToggleWindowShown);
  connect(trayMenu_->addAction(Tr(text::kExit)), &QAction::triggered, this, &MainWindow::ExitChosen);
  connect(trayMenu_, &QMenu::aboutToShow, this, [this, showHide] {
    showHide->setText(Tr(isVisible() ? text::kMenuHideProgram : text::kMenuShowProgram));
  });
  tray_->setContextMenu(trayMenu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) {
      ToggleWindowShown();
    } else if (reason == QSystemTrayIcon::Trigger && !stayOnTop_) {
      raise();
      activateWindow();
    }
  });
  tray_->show();
}

}  // namespace strixc::station
