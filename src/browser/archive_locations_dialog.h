#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "browser/location_sizes.h"
#include "shell/dialog_frame.h"
#include "shell/gallery.h"
#include "shell/message_box.h"

class QCheckBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace strixc::shell {
class InPlaceEdit;
class PictureButton;
}  // namespace strixc::shell

namespace strixc::browser {

class LocationRebuilder;

// "Archive settings": the list of archive locations (folder, size, file size) and the rebuild that
// makes the folders' files match it. The dialog edits a copy of the list held in its rows and
// changes the database only when the archive is rebuilt.
//
// A rebuild closes the database (recording pauses), then deletes the locations that have no row,
// updates those that have one and adds the new rows, each with the database's plan: recordings
// that would be lost are named in a Yes/No question first, and No leaves that location's files
// alone. Deleting and formatting run on a worker (LocationRebuilder) with the status and progress
// texts in the dialog; the window stays responsive, and the dialog cannot be closed until the
// rebuild is over. Then the database is opened again and the list shows what it holds.
//
// `database` must outlive the dialog; while the dialog is open nothing else may change its
// locations. UI thread only.
//
// Controls, by object name (tests find them so): the list "list" (columns path, size and file size
// in MiB), the in-place editor "cell_edit", buttons "add", "delete", "change_path", "rebuild" and
// "close", the check box "fast_formatting", and the texts "status" and "progress".
class ArchiveLocationsDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  enum Column { kPathColumn = 0, kSizeColumn = 1, kFileSizeColumn = 2 };

  using Asker = std::function<shell::MessageResult(const QString& text, shell::MessageStyle style,
                                                   const QString& caption)>;
  // Asks for a folder, starting at `start`; empty when none was chosen.
  using FolderBrowser = std::function<QString(QWidget* parent, const QString& start)>;
  using SpaceProbe = std::function<DriveSpace(const std::string& path)>;

  // `dataFolder` is where a new row's folder is proposed (<data>/stxcVideoBase0).
  ArchiveLocationsDialog(archive::ArchiveDatabase& database, const QString& dataFolder, QWidget* parent = nullptr);
  ~ArchiveLocationsDialog() override;

  // Defaults: the program's message box, the desktop's folder chooser and the real file systems.
  void SetAsker(Asker asker) { ask_ = std::move(asker); }
  void SetFolderBrowser(FolderBrowser browser) { browseFolder_ = std::move(browser); }
  void SetSpaceProbe(SpaceProbe probe);

  // Set by every edit, cleared by a rebuild. A caller that has just added a location without files
  // sets it, so that closing offers the rebuild that makes them.
  bool Changed() const { return changed_; }
  void SetChanged(bool changed) { changed_ = changed; }
  bool Rebuilding() const { return rebuilding_; }
  // Whether a rebuild has run since the dialog opened.
  bool Rebuilt() const { return rebuilt_; }

  int RowCount() const;
  QString RowText(int row, Column column) const;
  int SelectedRow() const;
  void SelectRow(int row);

  // The buttons' actions.
  void AddRow();
  void DeleteSelectedRow();
  void ChangePath();
  void StartRebuild();
  // Opens the in-place editor on a cell, as a double click there does.
  void EditCell(int row, Column column);

  // Close: with unrebuilt changes asks "Rebuild archive ?" (Yes rebuilds and then closes, No
  // closes, Cancel stays). Refused while a rebuild runs.
  void reject() override;

 signals:
  // A rebuild is over and the database is open again (or found no files).
  void RebuildFinished();

 private:
  enum class Pass { kDeleting, kUpdating, kAdding };
  struct Row {
    std::string path;
    uint64_t space = 0;
    uint64_t fileSize = 0;
  };

  void BuildControls();
  void FillList();
  QTreeWidgetItem* AppendRow(const QString& path, const QString& size, const QString& fileSize);
  void OnEditEnded(int column, int row);
  void OnSelectionChanged();
  void ValidateRow(int row);
  void AdjustRowSizes(int row);
  int RowOfPath(const QString& path, int except) const;
  void ShowLog(const QString& caption);
  shell::MessageResult Ask(const QString& text, shell::MessageStyle style, const QString& caption = {});
  QString TimeText(uint64_t time) const;
  void SetBusy(bool busy);

  // The rebuild, one location after the other: each location's files are made on the worker, and
  // the next step follows its Finished.
  void RebuildStep();
  // Plans location `index`, asks about lost recordings and starts the worker; false when the
  // operator keeps the recordings.
  bool RebuildLocation(int index, const QString& title, bool deletion);
  void OnLocationRebuilt();
  void FinishRebuild();

  archive::ArchiveDatabase& database_;
  const QString dataFolder_;
  Asker ask_;
  FolderBrowser browseFolder_;
  SpaceProbe space_;
  bool changed_ = false;
  bool rebuilding_ = false;
  bool rebuilt_ = false;
  bool closeAfterRebuild_ = false;

  // The rebuild in progress: the rows it works from, the pass, the location index (or row) it is at,
  // and the location being worked on by the worker.
  std::vector<Row> rows_;
  Pass pass_ = Pass::kDeleting;
  int cursor_ = 0;
  int locationsBefore_ = 0;
  QString title_;

  QTreeWidget* list_ = nullptr;
  shell::InPlaceEdit* edit_ = nullptr;
  QCheckBox* fastFormatting_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* progress_ = nullptr;
  std::vector<shell::PictureButton*> buttons_;
  LocationRebuilder* rebuilder_ = nullptr;
};

// Shows the dialog modally over `parent`. `markChanged` starts it with unrebuilt changes (a
// location was just added for it). `rebuilt`, when given, runs after each rebuild, with the
// database open again. Returns whether a rebuild ran.
bool RunArchiveLocations(archive::ArchiveDatabase& database, const QString& dataFolder, QWidget* parent,
                         bool markChanged = false, const std::function<void()>& rebuilt = {});

// The gallery's "archive_locations" page: the dialog over two sample locations.
std::vector<shell::GalleryPage> BrowserGalleryPages();

}  // namespace strixc::browser
