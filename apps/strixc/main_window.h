#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "display/video_widget.h"
#include "shell/message_box.h"
#include "operator_station.h"
#include "window_geometry.h"

class QAction;
class QKeyEvent;
class QWindow;
class QLabel;
class QMenu;
class QPushButton;

namespace strixc::browser {
class ArchiveMapControl;
}

namespace strixc::playback {
class PlaybackSource;
}

namespace strixc::dome {
class DomePanel;
}

namespace strixc::station {

class ControlPanel;

// The operator station's one window: the live video area, the control panel, the menus, the tray
// icon and the display modes. It drives an OperatorStation and shows what it reports.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Every message to the operator goes through this; the default is the program's message box.
  using Asker = std::function<shell::MessageResult(const QString& text, shell::MessageStyle style,
                                                   const QString& caption)>;
  // The Connection dialog: true with the four values when the operator chose Connect.
  struct ConnectionChoice {
    QString host;
    quint16 port = 0;
    std::string user;
    std::string password;
  };
  using ConnectionAsker = std::function<bool(ConnectionChoice* choice)>;

  // `parameters`: the command line's plain parameters (four connect at once).
  MainWindow(OperatorStation& station, QStringList parameters, QWidget* parent = nullptr);
  ~MainWindow() override;

  void SetAsker(Asker asker) { ask_ = std::move(asker); }
  void SetConnectionAsker(ConnectionAsker asker) { askConnection_ = std::move(asker); }
  // An unattended start (set before Start) shows no dialog: the archive question is answered by
  // making the default archive, which the status line then names; no Connection dialog opens
  // without the four parameters; start-up errors go to the status line.
  void SetUnattended(bool unattended) { unattended_ = unattended; }
  // Recording switches on, as the button does, once the first connection stands (--record).
  void SetRecordOnConnect(bool record) { recordOnConnect_ = record; }
  // The same, and off again `seconds` after it went on (--demo-record: something to browse).
  void SetRecordFor(int seconds) {
    recordOnConnect_ = seconds > 0;
    recordSeconds_ = seconds;
  }

  // Where the archive browser starts when the opener positions it (--browse): the time (0: the
  // archive's latest recording) on the first camera recorded, with its whole day in view, and the
  // layout button (1..7; 0: the browser's own).
  struct BrowseStart {
    uint64_t time = 0;
    int layout = 0;
  };
  // Set before Start: the start opens the browser on the archive files in `folder`, as "Archives
  // from path ..." does without its dialog, instead of the Connection dialog; the first-start
  // archive question is not asked. A folder without an archive ends in BrowseAtStartFailed.
  void SetBrowseAtStart(const QString& folder, BrowseStart start);

  // The initialisation after the window exists: the settings, the archive (with the first-start
  // question), the recorder, and the connection (from the parameters, or the Connect command).
  // When the operator asks for the first-start archive, Start returns while a worker makes it and
  // the rest of the start follows when it is done.
  void Start();

  // Commands. ExitCommand saves the settings and closes without a question (the program's own
  // exits: --quit-after, a termination signal); the operator's Exit asks first while recording.
  void ExitCommand();
  void ExitChosen();
  // "Minimize": to the tray when there is one, else to the task bar.
  void MinimizeCommand();
  void ConnectCommand();
  // Recording on needs an archive: without one the operator is asked to make the default one
  // (recording then starts when it exists) and told that recording stays off when he declines.
  void ToggleRecording();
  void SelectLayoutButton(int k);
  void SetDisplayMode(int mode, bool force = false);
  // The archive commands. Each runs the browser modally and returns when it closes; the live view
  // stops drawing meanwhile and comes back after. "Local archives ..." works only while the local
  // archive is open. "Remote archives ..." (and "Remote" in the "Open archives" list) only while a
  // connection stands: the browser plays the server's archive, and closes when the connection
  // breaks; a server that gives no archive range is told and nothing opens. "Archives from
  // path ..." asks for the folder, starting at the client settings' DefaultDir, and stores the
  // answer back there.
  void LocalArchivesCommand();
  void RemoteArchivesCommand();
  void ArchivesFromPathCommand();
  // The archive button: the "Open archives" question, then the matching command.
  void ArchiveButtonCommand();
  // The browser on a read-only archive over `folder` (positioned by `start` when given). False,
  // with the reason in the operator's language in `error`, when no archive can be read there.
  bool BrowseFolder(const QString& folder, const BrowseStart* start, QString* error);
  bool LocalArchiveAvailable();
  bool RemoteArchiveAvailable() const;
  // The "Tools" menu's "Remote archives ..." (its state is brought up to date when the menu opens).
  QAction* RemoteArchivesAction() const { return remoteArchives_; }
  // The archive browser while it is open, else null.
  QWidget* Browser() const { return browser_; }

  DisplayMode Mode() const { return mode_; }
  bool StayOnTop() const { return stayOnTop_; }
  bool ShowMenu() const { return showMenu_; }
  QString StatusText() const;
  // The modeless progress window is up (connecting, making the first-start archive).
  bool ProgressShown() const { return progress_ != nullptr && progress_->isVisible(); }
  display::VideoWidget& Video() { return *video_; }
  ControlPanel& Panel() { return *panel_; }
  // The floating dome panel ("Dome panel ..." shows and hides it) and the "Domes ..." settings.
  dome::DomePanel& DomePanelWindow() { return *domePanel_; }
  void ToggleDomePanel();
  void DomeSettingsCommand();

 signals:
  // The browser asked for by SetBrowseAtStart could not open; `error` says why.
  void BrowseAtStartFailed(const QString& error);

 public:

  // The window placement under "Window": loaded once, by the start or before the window is first
  // shown (so that it appears in its place and state at once), saved when the window goes.
  void LoadPlacement();
  void SavePlacement();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Offers the keys of this window and of the dome panel to the dome bindings first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void SetUpDomes();
  // Whether keys in `window` go to the dome bindings: the main window's and the dome panel's.
  bool IsDomeKeyWindow(const QWindow* window) const;
  void BuildTray();
  void LayoutVideoArea();
  void ApplyWindowFlags();
  void ShowNotConnected();
  // What the settings file's opening had to do, told once at the start without stopping it.
  void TellSettingsProblem();
  // The operator's answer to closing while recording: true to close.
  bool ConfirmCloseWhileRecording();
  // The menu bar's height when it shows: Preview keeps the video area, below it, at 4:3.
  int MenuHeight() const;
  // Preview: a left press this close to the window's edge sizes the window.
  Qt::Edges SizingEdgesAt(QPoint windowPosition) const;
  // Start, from the connection on.
  void ContinueStart();
  // Makes the default archive on the station's worker under the progress window.
  void CreateDefaultArchive();
  void OnArchiveCreated(bool ok, const QString& error);
  void SwitchRecordingOn();
  // Errors of the start and of the archive made for it: the message box, or the status line of an
  // unattended start.
  void ReportError(const QString& text);
  // The status line: `text`, followed by the note of an unattended start's archive.
  void SetStatus(const QString& text);
  shell::MessageResult Tell(const QString& text, shell::MessageStyle style = shell::MessageStyle::kOk,
                            const QString& caption = {});
  // `cancellable`: a connection the operator may give up with the window's "Cancel".
  void ShowProgress(const QString& text, bool cancellable = false);
  void CloseProgress();
  void OpenPopup(const QPoint& globalPosition);
  void OnConnected();
  void OnDisconnected(int error, const QString& text);
  void OnLoginFailed(int failure, const QString& text);
  void OnReconnectCountdown(int secondsLeft);
  void OnReconnectAttempt();
  // The recording button for the station's switch: off, on (blinking), or interrupted.
  void ShowRecording();
  void OnBlink();
  void OnMousePressed(QPoint position, Qt::MouseButton button);
  void OnMouseMoved(QPoint position, Qt::MouseButtons buttons);
  void OnMouseReleased(QPoint position, Qt::MouseButton button);
  void OnDoubleClicked(QPoint position);
  void OnCommand(int command);
  void ToggleWindowShown();
  // Dialogs of the commands.
  void AddressBookCommand();
  void DisplaySettingsCommand();
  void ArchiveLocationsCommand();
  void LanguageCommand();
  void SnapshotCommand();
  void AboutCommand();
  // Runs the browser over `source` (bound to its archive by the caller) and unbinds it after.
  void RunBrowser(playback::PlaybackSource& source, const BrowseStart* start);
  void UpdateArchiveActions();
  void OnRemoteArchiveLost();

  OperatorStation& station_;
  QStringList parameters_;
  Asker ask_;
  ConnectionAsker askConnection_;
  QWidget* client_ = nullptr;
  display::VideoWidget* video_ = nullptr;
  ControlPanel* panel_ = nullptr;
  QMenu* popup_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  QPointer<shell::DialogFrame> progress_;
  QLabel* progressText_ = nullptr;
  QPushButton* progressCancel_ = nullptr;
  // The tray has told the operator about the current break.
  bool breakNotified_ = false;
  dome::DomePanel* domePanel_ = nullptr;
  QTimer domePoll_;
  QTimer blinkTimer_;
  int blink_ = 0;
  bool unattended_ = false;
  bool recordOnConnect_ = false;
  int recordSeconds_ = 0;
  // The one archive map, lent to each browser in turn.
  std::unique_ptr<browser::ArchiveMapControl> map_;
  QPointer<QWidget> browser_;
  QAction* localArchives_ = nullptr;
  QAction* remoteArchives_ = nullptr;
  // The connection under the remote browser ended: the disconnection that follows says so.
  bool remoteLost_ = false;
  bool browseAtStart_ = false;
  QString browseFolder_;
  BrowseStart browseStart_;
  // What waits for the default archive being made: the rest of the start, switching recording on.
  bool startWaitsForArchive_ = false;
  bool recordingWaitsForArchive_ = false;
  QString startNote_;

  DisplayMode mode_ = DisplayMode::kNormal;
  bool stayOnTop_ = false;
  bool showMenu_ = false;
  bool layoutEnabled_ = false;
  bool placementLoaded_ = false;
  bool settingsProblemTold_ = false;
  // The window state the last mode switch asked for, until the platform reports it.
  bool awaitingState_ = false;
  Qt::WindowStates requestedState_;
  // Set by ExitCommand: the close that follows asks nothing.
  bool exiting_ = false;
  int layoutButton_ = -1;
  // A camera dragged between cells, or the window dragged in Preview.
  int draggedCamera_ = -1;
  bool movingWindow_ = false;
  // The edges a Preview sizing drags, and the window's rectangle when it began.
  Qt::Edges sizingEdges_;
  QRect sizingStart_;
  QPoint dragStart_;
  QPoint windowStart_;
  QRect lastGeometry_;
  // The window's rectangle when not maximised: what Preview shows and what is saved.
  QRect restored_{200, 200, 400, 300};
};

}  // namespace strixc::station
