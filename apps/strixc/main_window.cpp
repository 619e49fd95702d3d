#include "main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

#include "browser/archive_map_control.h"
#include "control_panel.h"
#include "dialogs.h"
#include "settings/settings_key.h"
#include "shell/dialog_frame.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "shell/theme.h"

namespace strixc::station {

namespace {

using shell::MessageResult;
using shell::MessageStyle;
using shell::Tr;
using shell::TrFormat;
namespace text = shell::text;

constexpr char kWindowKey[] = "Window";
constexpr int kBlinkMs = 100;
constexpr QColor kBackground = shell::theme::kBackground;
constexpr QColor kForeground = shell::theme::kText;
// Where the protocol-version message sends the operator.
constexpr char kMakerAddress[] = "https://www.strixc.example/";

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

MainWindow::MainWindow(OperatorStation& station, QStringList parameters, QWidget* parent)
    : QMainWindow(parent), station_(station), parameters_(std::move(parameters)) {
  ask_ = [this](const QString& text, MessageStyle style, const QString& caption) {
    return shell::MessageBox::Show(this, text, style, caption);
  };
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kBackground);
  palette.setColor(QPalette::WindowText, kForeground);
  palette.setColor(QPalette::Base, kBackground);
  palette.setColor(QPalette::Text, kForeground);
  palette.setColor(QPalette::Button, kBackground);
  palette.setColor(QPalette::ButtonText, kForeground);
  setPalette(palette);
  setWindowIcon(QIcon(":/icons/strixc_logo.svg"));
  setMinimumSize(60, 60);

  client_ = new QWidget(this);
  client_->setAutoFillBackground(true);
  setCentralWidget(client_);
  video_ = new display::VideoWidget(station_.Display(), client_);
  video_->SetBackground(0x4A4F55);
  panel_ = new ControlPanel(client_);
  panel_->Capacity().SetDatabase(&station_.Archive());
  connect(&panel_->Capacity(), &shell::CapacityIndicator::Clicked, this, &MainWindow::ArchiveLocationsCommand);

  // The display speaks the operator's language.
  display::DisplayTexts texts;
  texts.timeFormat = Utf8(Tr(text::kTimeFormat));
  texts.dateFormat = Utf8(Tr(text::kDateFormat));
  texts.fpsFormat = Utf8(Tr(text::kFramesPerSecond));
  station_.Display().SetTexts(texts);
  for (int camera = 0; camera < display::kCameras; ++camera) {
    station_.Display().SetName(camera, Utf8(TrFormat(text::kCameraDefaultName, camera + 1)));
  }

  connect(video_, &display::VideoWidget::MousePressed, this, &MainWindow::OnMousePressed);
  connect(video_, &display::VideoWidget::MouseMoved, this, &MainWindow::OnMouseMoved);
  connect(video_, &display::VideoWidget::MouseReleased, this, &MainWindow::OnMouseReleased);
  connect(video_, &display::VideoWidget::DoubleClicked, this, &MainWindow::OnDoubleClicked);
  connect(video_, &display::VideoWidget::AttachFailed, this, [this] { Tell(Tr(text::kDirectXError)); });
  connect(panel_, &ControlPanel::CommandClicked, this, &MainWindow::OnCommand);
  connect(panel_, &ControlPanel::LayoutClicked, this, &MainWindow::SelectLayoutButton);
  connect(panel_, &ControlPanel::OutputClicked, this, [this](int index) {
    net::ConnectionController& c = station_.Controller();
    // An output in an unknown state is switched on.
    if (c.IsConnected()) c.Connection().SetOutput(index, c.Points().outputs[index].State() != 1);
  });

  net::ConnectionController& controller = station_.Controller();
  connect(&station_, &Station::Connected, this, &MainWindow::OnConnected);
  connect(&station_, &Station::Disconnected, this, &MainWindow::OnDisconnected);
  connect(&station_, &Station::RemoteArchiveLost, this, &MainWindow::OnRemoteArchiveLost);
  connect(&station_, &Station::ArchiveCreated, this, &MainWindow::OnArchiveCreated);
  connect(&station_, &Station::RecordingChanged, this, &MainWindow::ShowRecording);
  connect(&station_, &Station::ReconnectCountdown, this, &MainWindow::OnReconnectCountdown);
  connect(&station_, &Station::ReconnectAttempt, this, &MainWindow::OnReconnectAttempt);
  connect(&controller, &net::ConnectionController::LoginFailed, this,
          [this](net::ConnectionController::LoginFailure failure, const QString& text) {
            OnLoginFailed(static_cast<int>(failure), text);
          });
  // The progress texts are shown in the operator's language, not the controller's.
  connect(&controller, &net::ConnectionController::LoggedIn, this,
          [this] {
            // Attempts of the reconnecting show their progress in the status line only.
            if (progress_ != nullptr) ShowProgress(Tr(text::kGettingTransmissionParameters), true);
          });
  connect(&controller, &net::ConnectionController::InputChanged, this, [this](int index, int state) {
    panel_->SetInput(index, state, QString::fromStdString(station_.Controller().Points().inputs[index].Name()));
  });
  connect(&controller, &net::ConnectionController::OutputChanged, this, [this](int index, int state) {
    panel_->SetOutput(index, state, QString::fromStdString(station_.Controller().Points().outputs[index].Name()));
  });

  blinkTimer_.setInterval(kBlinkMs);
  connect(&blinkTimer_, &QTimer::timeout, this, &MainWindow::OnBlink);

  BuildMenus();
  BuildTray();
  SetUpDomes();
  ShowNotConnected();
}

void MainWindow::SetBrowseAtStart(const QString& folder, BrowseStart start) {
  browseAtStart_ = true;
  browseFolder_ = folder;
  browseStart_ = start;
}

MainWindow::~MainWindow() {
  if (tray_ != nullptr) tray_->hide();
  CloseProgress();
  video_->Unbind();
}

// --- Start-up ---

void MainWindow::Start() {
  if (!placementLoaded_) LoadPlacement();
  station_.LoadAll();
  video_->Bind();
  TellSettingsProblem();

  QString error;
  const bool noArchive = station_.OpenArchive(&error) == Station::ArchiveState::kNone;
  // A start that browses a folder needs no archive of its own: nothing is asked or made for it.
  if ((parameters_.size() != 4 || unattended_) && !browseAtStart_) {
    tools::ClientSettings& client = station_.Client();
    if (noArchive && !error.isEmpty()) {
      ReportError(error);
    } else if (noArchive && client.GetArchCreateQuestion()) {
      if (unattended_) {
        // No one is there to answer: the default archive is made, and the start goes on when its
        // files exist (OnArchiveCreated).
        startWaitsForArchive_ = true;
        CreateDefaultArchive();
        return;
      }
      if (Tell(Tr(text::kCreateArchivesQuestion), MessageStyle::kYesNo) == MessageResult::kYes) {
        // The new location is listed in the location dialog, whose rebuild makes its files on a
        // worker (the operator may change its sizes first).
        station_.Archive().AddLocation(station_.DefaultArchiveFolder(), archive::ArchiveDatabase::kFirstRunSpace,
                                       archive::ArchiveDatabase::kFirstRunMaxFileSize, 0);
        RunArchiveLocations(station_, this, /*markChanged=*/true);
        ContinueStart();
        return;
      }
    }
    // Declined, or not offered at all: the question is not asked at later starts.
    client.SetArchCreateQuestion(false);
  }
  ContinueStart();
}

void MainWindow::CreateDefaultArchive() {
  // Formatting the files takes a while: a worker makes them, the window stays responsive under the
  // progress window. Until they exist nothing here reads the database the worker holds.
  panel_->Capacity().SetDatabase(nullptr);
  ShowProgress(Tr(text::kRebuildingArchive));
  station_.StartCreatingDefaultArchive();
}

void MainWindow::TellSettingsProblem() {
  if (settingsProblemTold_) return;
  settingsProblemTold_ = true;
  const settings::SettingsDatabase& db = station_.Settings();
  const std::string& path = db.FilePath();
  QString notice;
  switch (db.Problem()) {
    case settings::SettingsDatabase::OpenProblem::kNone: return;
    case settings::SettingsDatabase::OpenProblem::kMovedAside:
      notice = TrFormat(text::kSettingsMovedAside, path.c_str(), db.AsidePath().c_str());
      break;
    case settings::SettingsDatabase::OpenProblem::kLocked:
      notice = TrFormat(text::kSettingsLocked, path.c_str());
      break;
    case settings::SettingsDatabase::OpenProblem::kUnusable:
      notice = TrFormat(text::kSettingsUnusable, path.c_str());
      break;
  }
  // Told from the event loop: the start goes on (and connects) while the message is up. An
  // unattended start shows it in the status line instead of waiting on a message box.
  QMetaObject::invokeMethod(this, [this, notice] { ReportError(notice); }, Qt::QueuedConnection);
}

void MainWindow::OnArchiveCreated(bool ok, const QString& error) {
  CloseProgress();
  panel_->Capacity().SetDatabase(&station_.Archive());
  panel_->Capacity().Refresh();
  if (!ok) {
    ReportError(error);
  } else if (unattended_) {
    startNote_ = TrFormat(text::kArchiveCreatedUnattended, station_.DefaultArchiveFolder().c_str());
    SetStatus(StatusText());
  }
  if (std::exchange(startWaitsForArchive_, false)) ContinueStart();
  // Asked for once: a failed creation is not retried by itself.
  if (std::exchange(recordingWaitsForArchive_, false) && ok && station_.HasArchive()) SwitchRecordingOn();
}

void MainWindow::ContinueStart() {
  panel_->Capacity().Refresh();
  UpdateArchiveActions();
  if (browseAtStart_) {
    // From the event loop: the browser's own loop must not run inside Start.
    QMetaObject::invokeMethod(
        this,
        [this] {
          QString error;
          if (!BrowseFolder(browseFolder_, &browseStart_, &error)) emit BrowseAtStartFailed(error);
        },
        Qt::QueuedConnection);
  }

  if (parameters_.size() == 4) {
    bool ok = false;
    const uint port = parameters_[3].toUInt(&ok);
    ShowProgress(TrFormat(text::kConnectingTo, parameters_[0].toUtf8().constData(),
                          parameters_[2].toUtf8().constData(), parameters_[3].toUtf8().constData()),
                 true);
    station_.Connect(parameters_[2], static_cast<quint16>(ok && port < 65536 ? port : 0), Utf8(parameters_[0]),
                     Utf8(parameters_[1]));
  } else if (!unattended_ && !browseAtStart_) {
    ConnectCommand();
  }
}

// --- Commands ---

void MainWindow::ExitCommand() {
  exiting_ = true;
  // An open archive browser closes first: it gives back the display's cameras as they were before
  // the settings are saved. Its loop ends when this returns to it.
  if (auto* browser = qobject_cast<QDialog*>(browser_.data())) browser->reject();
  station_.SaveAll();
  close();
}

void MainWindow::ExitChosen() {
  if (ConfirmCloseWhileRecording()) ExitCommand();
}

bool MainWindow::ConfirmCloseWhileRecording() {
  if (!station_.RecordingOn()) return true;
  return Tell(Tr(text::kCloseWhileRecordingQuestion), MessageStyle::kYesNo) == MessageResult::kYes;
}

void MainWindow::MinimizeCommand() {
  // Hidden without a tray icon, the window would have no way back.
  if (tray_ != nullptr && tray_->isVisible()) {
    hide();
  } else {
    showMinimized();
  }
}

void MainWindow::ConnectCommand() {
  net::ConnectionController& controller = station_.Controller();
  if (controller.GetState() != net::ConnectionController::State::kIdle) {
    if (Tell(Tr(text::kBreakConnectionQuestion), MessageStyle::kYesNo, Tr(text::kCaptionStx)) != MessageResult::kYes) {
      return;
    }
    station_.Disconnect();
  }
  ConnectionChoice choice;
  if (!askConnection_ || !askConnection_(&choice)) return;
  ShowProgress(TrFormat(text::kConnectingTo, choice.user.c_str(), choice.host.toUtf8().constData(),
                        QByteArray::number(choice.port).constData()),
               true);
  station_.Connect(choice.host, choice.port, choice.user, choice.password);
}

void MainWindow::ToggleRecording() {
  if (!station_.RecordingOn()) {
    SwitchRecordingOn();
    return;
  }
  station_.SetRecording(false);
}

void MainWindow::ShowRecording() {
  switch (station_.GetRecordingState()) {
    case Station::RecordingState::kOff:
      blinkTimer_.stop();
      panel_->SetRecordingPicture(ControlPanel::RecordingPicture::kOff);
      break;
    case Station::RecordingState::kOn:
      if (blinkTimer_.isActive()) break;
      panel_->SetRecordingPicture(ControlPanel::RecordingPicture::kOn);
      blink_ = 0;
      blinkTimer_.start();
      break;
    case Station::RecordingState::kInterrupted:
      blinkTimer_.stop();
      panel_->SetRecordingPicture(ControlPanel::RecordingPicture::kInterrupted);
      break;
  }
}

void MainWindow::SwitchRecordingOn() {
  if (station_.RecordingOn()) return;
  if (station_.CreatingArchive()) {
    recordingWaitsForArchive_ = true;
    return;
  }
  if (!station_.HasArchive()) {
    // Without an archive the recorder would drop every frame behind a red button.
    if (!unattended_ && Tell(Tr(text::kCreateArchivesQuestion), MessageStyle::kYesNo) != MessageResult::kYes) {
      Tell(Tr(text::kRecordingNeedsArchive));
      return;
    }
    recordingWaitsForArchive_ = true;
    CreateDefaultArchive();
    return;
  }
  // The button follows the station (ShowRecording): on, or interrupted until connected.
  station_.SetRecording(true);
}

void MainWindow::OnBlink() {
  if (!station_.RecorderWriting()) {
    panel_->SetRecordingPicture(ControlPanel::RecordingPicture::kOn);
    return;
  }
  // Two ticks of one picture, three of the other.
  panel_->SetRecordingPicture(blink_ % 5 <= 1 ? ControlPanel::RecordingPicture::kOn
                                              : ControlPanel::RecordingPicture::kDim);
  blink_ = (blink_ + 1) % 5;
}

void MainWindow::SelectLayoutButton(int k) {
  if (!panel_->LayoutButtonEnabled(k)) return;
  layoutButton_ = k;
  station_.Display().LayoutForButton(station_.CameraCount() > 0 ? station_.CameraCount() : 16, k);
  station_.SendVisibleCameras();
}

void MainWindow::OnCommand(int command) {
  switch (command) {
    case ControlPanel::kRecording: ToggleRecording(); break;
    case ControlPanel::kAddressBook: AddressBookCommand(); break;
    case ControlPanel::kCameraSettings: DisplaySettingsCommand(); break;
    case ControlPanel::kArchives: ArchiveButtonCommand(); break;
    case ControlPanel::kConnection: ConnectCommand(); break;
    case ControlPanel::kProgramSettings: LanguageCommand(); break;
    case ControlPanel::kDomeSettings: DomeSettingsCommand(); break;
    case ControlPanel::kDomePanel: ToggleDomePanel(); break;
    default: break;
  }
}

// --- Connection ---

void MainWindow::OnConnected() {
  CloseProgress();
  UpdateArchiveActions();
  net::ServerConnection& server = station_.Controller().Connection();
  const QByteArray name = QByteArray::fromStdString(server.ServerName());
  setWindowTitle(TrFormat(text::kTitleConnected, name.constData()));
  SetStatus(TrFormat(text::kStatusConnected, server.UserName().c_str(), name.constData(),
                     server.Host().toUtf8().constData()));
  panel_->PlaceLayoutButtons(station_.CameraCount());
  panel_->SetVisible(mode_ == DisplayMode::kNormal);
  if (tray_ != nullptr) tray_->setToolTip(windowTitle());
  breakNotified_ = false;
  if (std::exchange(recordOnConnect_, false)) {
    SwitchRecordingOn();
    // Off again after the time asked for, unless the operator switched it off himself by then.
    if (const int seconds = std::exchange(recordSeconds_, 0); seconds > 0) {
      QTimer::singleShot(seconds * 1000, this, [this] {
        if (station_.RecordingOn()) station_.SetRecording(false);
      });
    }
  }
}

void MainWindow::OnDisconnected(int error, const QString& text) {
  CloseProgress();
  ShowRecording();
  UpdateArchiveActions();
  // A remote browser closed by the break: the operator is told why, even when a reconnect follows.
  const bool browserLost = std::exchange(remoteLost_, false);
  switch (station_.EndOfConnection()) {
    case Station::End::kReconnecting:
      // The countdown has its own status text; the window only stops saying it is connected.
      setWindowTitle(Tr(text::kProgramName));
      if (browserLost) Tell(Tr(text::kConnectionBroken));
      break;
    case Station::End::kCancelled:
      ShowNotConnected();
      break;
    case Station::End::kTimedOut:
      ShowNotConnected();
      Tell(Tr(text::kServerDidNotAnswer));
      break;
    case Station::End::kBroken:
      ShowNotConnected();
      Tell(error != 0 ? text : Tr(text::kConnectionBroken));
      break;
  }
}

void MainWindow::OnReconnectCountdown(int secondsLeft) {
  const QString message =
      TrFormat(text::kReconnectingIn, station_.LastServer().toUtf8().constData(), secondsLeft);
  SetStatus(message);
  // One notice per break, not one per attempt: a server down for long would flood the desktop.
  if (!breakNotified_ && tray_ != nullptr && tray_->isVisible() && QSystemTrayIcon::supportsMessages()) {
    tray_->showMessage(Tr(text::kProgramName), Tr(text::kConnectionBroken) + "\n" + message,
                       QSystemTrayIcon::Warning);
  }
  breakNotified_ = true;
}

void MainWindow::OnReconnectAttempt() {
  net::ServerConnection& server = station_.Controller().Connection();
  SetStatus(TrFormat(text::kConnectingTo, server.UserName().c_str(), server.Host().toUtf8().constData(),
                     QByteArray::number(server.Port()).constData()));
}

void MainWindow::OnLoginFailed(int failure, const QString& text) {
  using Failure = net::ConnectionController::LoginFailure;
  // An attempt of the reconnecting that did not get through is followed by the next one.
  if (static_cast<Failure>(failure) == Failure::kSocketError && station_.Reconnecting()) return;
  ShowNotConnected();
  switch (static_cast<Failure>(failure)) {
    case Failure::kRefused: Tell(Tr(text::kAuthorizationFailed)); break;
    case Failure::kProtocolVersion: Tell(Tr(text::kUnrecognizedProtocol) + QString::fromLatin1(kMakerAddress)); break;
    case Failure::kSocketError: Tell(text); break;
  }
}

void MainWindow::ShowNotConnected() {
  setWindowTitle(Tr(text::kProgramName));
  SetStatus(Tr(text::kStatusNotConnected));
  if (tray_ != nullptr) tray_->setToolTip(Tr(text::kProgramName));
}

QString MainWindow::StatusText() const { return panel_->Status(); }

void MainWindow::SetStatus(const QString& text) {
  QString line = text;
  if (!startNote_.isEmpty() && !line.contains(startNote_)) line += QStringLiteral("   ") + startNote_;
  panel_->SetStatus(line);
}

void MainWindow::ReportError(const QString& text) {
  if (unattended_) {
    SetStatus(text.simplified());
  } else {
    Tell(text);
  }
}

MessageResult MainWindow::Tell(const QString& text, MessageStyle style, const QString& caption) {
  return ask_(text, style, caption);
}

void MainWindow::ShowProgress(const QString& text, bool cancellable) {
  if (progress_ == nullptr) {
    auto* window = new shell::DialogFrame(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setModal(false);
    window->SetCaption(Tr(text::kCaptionStx));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(20, 36, 20, 18);
    progressText_ = new QLabel(Tr(text::kPleaseWait), window);
    layout->addWidget(progressText_);
    progressCancel_ = new QPushButton(Tr(text::kCancel), window);
    progressCancel_->setObjectName("progress_cancel");
    layout->addWidget(progressCancel_, 0, Qt::AlignHCenter);
    connect(progressCancel_, &QPushButton::clicked, this, [this] {
      CloseProgress();
      station_.Disconnect(/*cancelled=*/true);
    });
    progress_ = window;
  }
  progressText_->setText(text);
  // Only a connection can be given up; the first-start archive's worker must finish.
  progressCancel_->setVisible(cancellable);
  progress_->adjustSize();
  progress_->show();
}

void MainWindow::CloseProgress() {
  if (progress_ != nullptr) progress_->close();
  progress_ = nullptr;
}

// --- Display modes and the video area ---

void MainWindow::SetDisplayMode(int mode, bool force) {
  if (mode < 0 || mode > 2) {
    Tell(Tr(text::kDirectXError));
    return;
  }
  const auto m = static_cast<DisplayMode>(mode);
  if (m == mode_ && !force) return;
  mode_ = m;
  ApplyWindowFlags();
  menuBar()->setVisible(mode_ == DisplayMode::kNormal || showMenu_);
  panel_->SetVisible(mode_ == DisplayMode::kNormal);
  // The state is set whether or not the window is shown yet, so that its first showing is already
  // in the mode's state.
  awaitingState_ = true;
  requestedState_ = mode_ == DisplayMode::kPreview ? Qt::WindowNoState : Qt::WindowMaximized;
  if (mode_ == DisplayMode::kPreview) {
    if (isVisible()) {
      showNormal();
    } else {
      setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    }
    setGeometry(restored_);
  } else {
    // Maximised by hand as well: without a window manager nobody else does it.
    if (screen() != nullptr) setGeometry(screen()->availableGeometry());
    if (isVisible()) {
      showMaximized();
    } else {
      setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    }
  }
  LayoutVideoArea();
}

void MainWindow::ApplyWindowFlags() {
  Qt::WindowFlags flags = Qt::Window;
  // Normal and Fullscreen have no caption or frame; Preview keeps a frame to size the window by.
  flags |= mode_ == DisplayMode::kPreview ? Qt::CustomizeWindowHint : Qt::FramelessWindowHint;
  if (stayOnTop_) flags |= Qt::WindowStaysOnTopHint;
  // New flags remake the native window: a window manager may lose a window unmapped and mapped
  // again at once, so nothing is remade when the flags stay.
  if (flags == windowFlags()) return;
  const bool visible = isVisible();
  setWindowFlags(flags);
  // A window remade while minimised would be mapped iconic, out of sight.
  setWindowState(windowState() & ~Qt::WindowMinimized);
  if (visible) show();
}

void MainWindow::LayoutVideoArea() {
  if (!layoutEnabled_) return;
  video_->setGeometry(VideoArea(client_->rect(), mode_));
  panel_->Layout(client_->width());
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (mode_ == DisplayMode::kPreview && layoutEnabled_) {
    // Keep 4:3 in Preview: a change of width sets the height, a change of height the width.
    // 4:3 is the video area's, below the menu bar when that shows.
    const QRect now = geometry();
    const bool widthChanged = now.width() != lastGeometry_.width();
    const int menu = MenuHeight();
    QRect wanted = PreviewSizing(now.adjusted(0, menu, 0, 0), widthChanged ? SizingEdge::kRight : SizingEdge::kBottom);
    wanted.setTop(wanted.top() - menu);
    lastGeometry_ = wanted;
    if (wanted.size() != now.size()) {
      resize(wanted.size());
      return;
    }
  }
  lastGeometry_ = geometry();
  // The restored rectangle is the one the operator gives the window in Preview.
  if (mode_ == DisplayMode::kPreview && layoutEnabled_ && !isMaximized()) restored_ = geometry();
  LayoutVideoArea();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (mode_ == DisplayMode::kPreview && layoutEnabled_ && !isMaximized()) restored_ = geometry();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  station_.Display().SetEnabled(true);
  if (station_.Controller().IsConnected()) station_.Controller().SetTransmission(true);
}

void MainWindow::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  station_.Display().SetEnabled(false);
  if (station_.Controller().IsConnected()) station_.Controller().SetTransmission(false);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!exiting_ && !ConfirmCloseWhileRecording()) {
    event->ignore();
    return;
  }
  SavePlacement();
  QMainWindow::closeEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape never close the window.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  // The platform reports the state of a window asynchronously: after a switch of mode it may
  // still report the one asked before, and a Preview window would be taken for maximised by the
  // operator. Until it reports the state asked for, its other reports are answered with that.
  // A window remade for the new mode's flags may even come back iconic.
  if (awaitingState_ && event->spontaneous()) {
    constexpr Qt::WindowStates kSettling = Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
    if ((windowState() & kSettling) == (requestedState_ & kSettling)) {
      awaitingState_ = false;
    } else {
      if (mode_ == DisplayMode::kPreview) {
        showNormal();
      } else {
        showMaximized();
      }
      return;
    }
  }
  // Maximising a Preview window means going back to Normal.
  if (mode_ == DisplayMode::kPreview && isMaximized()) SetDisplayMode(static_cast<int>(DisplayMode::kNormal));
}

// --- Window placement ---

void MainWindow::LoadPlacement() {
  settings::SettingsKey key(station_.Settings(), kWindowKey);
  uint32_t left = 200, top = 200, right = 600, bottom = 500, showMenu = 0, mode = 0, onTop = 0;
  key.ReadDword("Left", &left);
  key.ReadDword("Top", &top);
  key.ReadDword("Right", &right);
  key.ReadDword("Bottom", &bottom);
  key.ReadDword("ShowMenu", &showMenu);
  key.ReadDword("DisplayMode", &mode);
  key.ReadDword("StayOnTop", &onTop);
  placementLoaded_ = true;
  restored_ = StoredPlacement(left, top, right, bottom);
  setGeometry(restored_);
  lastGeometry_ = geometry();
  showMenu_ = showMenu != 0;
  stayOnTop_ = onTop != 0;
  layoutEnabled_ = true;
  SetDisplayMode(static_cast<int>(std::min<uint32_t>(mode, 3)), true);
  if (mode > 2) SetDisplayMode(static_cast<int>(DisplayMode::kNormal), true);
  LayoutVideoArea();
}

void MainWindow::SavePlacement() {
  const QRect r = restored_;
  settings::SettingsDatabase& db = station_.Settings();
  db.Transaction([&] {
    settings::SettingsKey key(db, kWindowKey);
    return key.Clear() && key.WriteDword("Left", static_cast<uint32_t>(r.left())) &&
           key.WriteDword("Top", static_cast<uint32_t>(r.top())) &&
           key.WriteDword("Right", static_cast<uint32_t>(r.left() + r.width())) &&
           key.WriteDword("Bottom", static_cast<uint32_t>(r.top() + r.height())) &&
           key.WriteDword("DisplayMode", static_cast<uint32_t>(mode_)) &&
           key.WriteDword("StayOnTop", stayOnTop_ ? 1 : 0) && key.WriteDword("ShowMenu", showMenu_ ? 1 : 0);
  });
}

// --- Mouse on the video area ---

void MainWindow::OnMousePressed(QPoint position, Qt::MouseButton button) {
  display::VideoDisplay& display = station_.Display();
  if (button == Qt::RightButton) {
    station_.SelectCamera(display.CameraAt(position));
    OpenPopup(video_->mapToGlobal(position));
    return;
  }
  if (button != Qt::LeftButton) return;
  if (mode_ == DisplayMode::kPreview) {
    // The Preview window has no frame: its edges size it, 4:3 at every step. The window sizes
    // itself rather than leaving it to the window manager, which would fight the aspect rule.
    sizingEdges_ = SizingEdgesAt(mapFromGlobal(video_->mapToGlobal(position)));
    if (sizingEdges_ != Qt::Edges()) {
      dragStart_ = QCursor::pos();
      sizingStart_ = geometry();
      return;
    }
    if (video_->rect().adjusted(2, 2, -2, -2).contains(position)) {
      movingWindow_ = true;
      dragStart_ = QCursor::pos();
      windowStart_ = pos();
    }
    return;
  }
  const int camera = display.CameraAt(position);
  station_.SelectCamera(camera);
  draggedCamera_ = camera;
}

void MainWindow::OnMouseMoved(QPoint position, Qt::MouseButtons buttons) {
  if (sizingEdges_ != Qt::Edges() && (buttons & Qt::LeftButton)) {
    setGeometry(PreviewSizingDrag(sizingStart_, sizingEdges_, QCursor::pos() - dragStart_, MenuHeight()));
    return;
  }
  if (movingWindow_) {
    move(windowStart_ + QCursor::pos() - dragStart_);
    return;
  }
  if (draggedCamera_ < 0 || !(buttons & Qt::LeftButton)) return;
  station_.Display().SetHighlightedCamera(station_.Display().CameraAt(position));
  video_->setCursor(Qt::DragMoveCursor);
}

void MainWindow::OnMouseReleased(QPoint position, Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  movingWindow_ = false;
  sizingEdges_ = Qt::Edges();
  if (draggedCamera_ < 0) return;
  display::VideoDisplay& display = station_.Display();
  const int other = display.CameraAt(position);
  if (other >= 0 && other != draggedCamera_) {
    display.PlaceCamera(draggedCamera_, display.CellOfCamera(other));
    station_.SendVisibleCameras();
  }
  display.SetHighlightedCamera(-1);
  video_->unsetCursor();
  draggedCamera_ = -1;
}

void MainWindow::OnDoubleClicked(QPoint position) {
  display::VideoDisplay& display = station_.Display();
  station_.SelectCamera(display.CameraAt(position));
  display.SingleView();
  station_.SendVisibleCameras();
}

int MainWindow::MenuHeight() const {
  return menuBar()->isHidden() ? 0 : menuBar()->sizeHint().height();
}

Qt::Edges MainWindow::SizingEdgesAt(QPoint p) const {
  constexpr int kBand = 6;
  Qt::Edges edges;
  if (p.x() < kBand) edges |= Qt::LeftEdge;
  if (p.x() >= width() - kBand) edges |= Qt::RightEdge;
  if (p.y() < kBand) edges |= Qt::TopEdge;
  if (p.y() >= height() - kBand) edges |= Qt::BottomEdge;
  return edges;
}

void MainWindow::ToggleWindowShown() {
  if (isVisible()) {
    hide();
    return;
  }
  show();
  if (!stayOnTop_) {
    raise();
    activateWindow();
  }
}

}  // namespace strixc::station
