#pragma once

#include <QString>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/archive_backup.h"
#include "shell/dialog_frame.h"
#include "shell/gallery.h"
#include "shell/message_box.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::shell {
class PictureButton;
}

namespace strixc::tools {

// "Backup": copies chosen cameras of a period of the local archive into a new archive in another
// folder (ArchiveBackup). The period pickers ("from", "to") span the archive; the camera buttons
// ("camera_1".."camera_16") of cameras the archive has are enabled, those also in the browser's
// layout switched on; the destination folder ("destination", "browse"), the file size in MiB
// ("file_size", 650 or 700 or typed), "Always ask before creating a new file" ("always_ask"),
// "Start backup process" ("start"), "Break" ("break"), the bars "source_bar" and
// "destination_bar", the status text ("status") and "Close" ("close").
//
// The copy runs on a worker thread; its questions come back to this window, which asks them in
// message boxes while the copy waits, so the window stays responsive and "Break" stops the copy
// within a record. During a copy "Close" is disabled and closing is refused.
//
// UI thread only. `sourceDatabase` must be open and outlive the dialog.
class BackupDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  // Asks the operator; tests replace it. Default: the program's message box.
  using Asker = std::function<shell::MessageResult(const QString& text, const QString& caption, shell::MessageStyle)>;
  // The folder browser; empty when the operator chose none. Default: the desktop's folder dialog.
  using FolderBrowser = std::function<QString(QWidget* parent, const QString& start)>;

  // `from`, `to`: the browser's view (archive times; both 0: the pickers keep the archive's ends).
  // `cameraMask`: the cameras of the browser's layout (bit c: camera c).
  BackupDialog(archive::ArchiveDatabase* sourceDatabase, uint64_t from, uint64_t to, uint32_t cameraMask,
               QWidget* parent = nullptr);
  ~BackupDialog() override;  // stops a running copy and waits for it

  void SetAsker(Asker asker) { ask_ = std::move(asker); }
  void SetFolderBrowser(FolderBrowser browser) { browseFolder_ = std::move(browser); }

  // "Start backup process": checks the entries (asking to create a missing folder) and starts the
  // copy. False when a check stopped it.
  bool StartBackup();
  // "Break".
  void Break();
  bool IsRunning() const { return worker_.joinable(); }
  // The last finished copy's result.
  const archive::ArchiveBackup::Result& LastResult() const { return result_; }

  // The pickers' period, exact while a picker shows the value it was given.
  uint64_t From() const;
  uint64_t To() const;
  uint32_t ChosenCameras() const;

  // Shows a copy's progress (also for the gallery).
  void ShowProgress(int source, int destination);
  void ShowStatus(archive::ArchiveBackup::Status status);

 signals:
  // A copy ended and its result was shown.
  void Finished();

 protected:
  void reject() override;

 private:
  class Bridge;

  void BuildControls();
  void SetRunning(bool running);
  shell::MessageResult Message(const QString& text, int captionId, shell::MessageStyle style);
  // Called on the worker thread: runs `ask` on this thread and waits for it; `fallback` when the
  // dialog is going away.
  bool AskFromWorker(const std::function<bool()>& ask, bool fallback);
  void OnCopyEnded();

  archive::ArchiveDatabase* const source_;
  archive::ArchiveBackup backup_;
  Asker ask_;
  FolderBrowser browseFolder_;

  QDateTimeEdit* from_ = nullptr;
  QDateTimeEdit* to_ = nullptr;
  // The exact times the pickers were given: the pickers hold whole seconds.
  uint64_t givenFrom_ = 0;
  uint64_t givenTo_ = 0;
  std::array<shell::PictureButton*, archive::ArchiveBackup::kCameras> cameras_{};
  QLineEdit* destination_ = nullptr;
  QComboBox* fileSize_ = nullptr;
  shell::PictureButton* alwaysAsk_ = nullptr;
  shell::PictureButton* start_ = nullptr;
  shell::PictureButton* break_ = nullptr;
  shell::PictureButton* close_ = nullptr;
  QProgressBar* sourceBar_ = nullptr;
  QProgressBar* destinationBar_ = nullptr;
  QLabel* status_ = nullptr;

  std::unique_ptr<Bridge> bridge_;
  std::thread worker_;
  archive::ArchiveBackup::Result result_;

  std::mutex lock_;
  std::condition_variable answered_;
  // Guarded by lock_:
  bool closing_ = false;    // the dialog is going away: questions get their fallback
  uint64_t question_ = 0;   // the question being asked, counted
  uint64_t answeredQuestion_ = 0;
  bool answer_ = false;
};

// Opens the dialog over the browser and runs it until it is closed.
void RunBackup(archive::ArchiveDatabase& database, uint64_t from, uint64_t to, uint32_t cameraMask, QWidget* parent);

std::vector<shell::GalleryPage> BackupGalleryPages();

}  // namespace strixc::tools
