#include "browser/archive_locations_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "archive/archive_time.h"
#include "browser/location_rebuilder.h"
#include "shell/archive_log_words.h"
#include "shell/in_place_edit.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::browser {

namespace text = shell::text;

namespace {

using shell::MessageResult;
using shell::MessageStyle;
using shell::Tr;
using shell::TrFormat;

constexpr uint64_t kMiB = 1048576;
constexpr char kNewFolderName[] = "stxcVideoBase0";

QString Lines(const std::string& text) {
  return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString Lines(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

QString MiBText(uint64_t bytes) { return QString::number(bytes / kMiB); }

// A cell's MiB as bytes: what is not a number counts as 0 (the database raises it to its minimum).
uint64_t BytesOfCell(const QString& cell) {
  bool ok = false;
  const qlonglong mib = cell.trimmed().toLongLong(&ok);
  if (!ok || mib <= 0) return 0;
  return static_cast<uint64_t>(std::min<qlonglong>(mib, std::numeric_limits<qlonglong>::max() / kMiB)) * kMiB;
}

shell::PictureButton* MakeButton(QWidget* parent, const char* name, int textId) {
  auto* button = new shell::PictureButton(Tr(textId), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QString DesktopFolderBrowser(QWidget* parent, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

}  // namespace

ArchiveLocationsDialog::ArchiveLocationsDialog(archive::ArchiveDatabase& database, const QString& dataFolder,
                                               QWidget* parent)
    : DialogFrame(parent),
      database_(database),
      dataFolder_(dataFolder),
      browseFolder_(DesktopFolderBrowser),
      space_(MeasureDrive) {
  ask_ = [this](const QString& text, MessageStyle style, const QString& caption) {
    return shell::MessageBox::Show(this, text, style, caption);
  };
  SetCaption(Tr(text::kArchiveSettings));
  BuildControls();
  rebuilder_ = new LocationRebuilder(database_, this);
  connect(rebuilder_, &LocationRebuilder::StatusChanged, this, [this](const QString& t) { status_->setText(Lines(t)); });
  connect(rebuilder_, &LocationRebuilder::ProgressChanged, progress_, &QLabel::setText);
  connect(rebuilder_, &LocationRebuilder::Finished, this, &ArchiveLocationsDialog::OnLocationRebuilt);
  FillList();
}

// The rebuilder (a child) waits for its worker when it is destroyed; nothing else runs by then.
ArchiveLocationsDialog::~ArchiveLocationsDialog() = default;

void ArchiveLocationsDialog::BuildControls() {
  list_ = new QTreeWidget(this);
  list_->setObjectName("list");
  list_->setRootIsDecorated(false);
  list_->setColumnCount(3);
  // The path's header is padded, so that an empty list still shows a wide path column.
  list_->setHeaderLabels({Tr(text::kColumnPath) + QString(40, QLatin1Char(' ')), Tr(text::kColumnSize),
                          Tr(text::kColumnFileSize)});
  list_->headerItem()->setTextAlignment(kSizeColumn, Qt::AlignCenter);
  list_->headerItem()->setTextAlignment(kFileSizeColumn, Qt::AlignCenter);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setMinimumSize(560, 150);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int column) {
    EditCell(list_->indexOfTopLevelItem(item), static_cast<Column>(column));
    changed_ = true;
  });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &ArchiveLocationsDialog::OnSelectionChanged);

  edit_ = new shell::InPlaceEdit(list_->viewport());
  edit_->setObjectName("cell_edit");
  connect(edit_, &shell::InPlaceEdit::Ended, this, &ArchiveLocationsDialog::OnEditEnded);

  auto* add = MakeButton(this, "add", text::kAddLocation);
  auto* remove = MakeButton(this, "delete", text::kDeleteLocation);
  auto* changePath = MakeButton(this, "change_path", text::kChangePath);
  auto* rebuild = MakeButton(this, "rebuild", text::kRebuildArchiveFiles);
  auto* close = MakeButton(this, "close", text::kClose);
  connect(add, &shell::PictureButton::clicked, this, &ArchiveLocationsDialog::AddRow);
  connect(remove, &shell::PictureButton::clicked, this, &ArchiveLocationsDialog::DeleteSelectedRow);
  connect(changePath, &shell::PictureButton::clicked, this, &ArchiveLocationsDialog::ChangePath);
  connect(rebuild, &shell::PictureButton::clicked, this, &ArchiveLocationsDialog::StartRebuild);
  connect(close, &shell::PictureButton::clicked, this, &ArchiveLocationsDialog::reject);
  buttons_ = {add, remove, changePath, rebuild, close};

  fastFormatting_ = new QCheckBox(Tr(text::kFastFormatting), this);
  fastFormatting_->setObjectName("fast_formatting");
  fastFormatting_->setChecked(true);

  status_ = new QLabel(this);
  status_->setObjectName("status");
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setWordWrap(true);
  // Room for the longest status: five lines of a rebuild step.
  status_->setMinimumHeight(status_->fontMetrics().lineSpacing() * 7);
  progress_ = new QLabel(this);
  progress_->setObjectName("progress");
  progress_->setAlignment(Qt::AlignRight | Qt::AlignTop);
  progress_->setMinimumWidth(progress_->fontMetrics().horizontalAdvance(QStringLiteral("000000MB")));

  auto* editRow = new QHBoxLayout;
  editRow->addWidget(add);
  editRow->addWidget(remove);
  editRow->addWidget(changePath);
  editRow->addStretch();
  editRow->addWidget(fastFormatting_);

  auto* statusRow = new QHBoxLayout;
  statusRow->addWidget(status_, 1);
  statusRow->addWidget(progress_);

  auto* closeRow = new QHBoxLayout;
  closeRow->addWidget(rebuild);
  closeRow->addStretch();
  closeRow->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addWidget(list_, 1);
  layout->addLayout(editRow);
  layout->addLayout(statusRow);
  layout->addLayout(closeRow);
}

void ArchiveLocationsDialog::SetSpaceProbe(SpaceProbe probe) {
  space_ = std::move(probe);
  OnSelectionChanged();
}

// ---------------------------------------------------------------------------------------------
// Rows

int ArchiveLocationsDialog::RowCount() const { return list_->topLevelItemCount(); }

QString ArchiveLocationsDialog::RowText(int row, Column column) const {
  const QTreeWidgetItem* item = list_->topLevelItem(row);
  return item != nullptr ? item->text(column) : QString();
}

int ArchiveLocationsDialog::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

void ArchiveLocationsDialog::SelectRow(int row) { shell::SelectListItem(list_, row); }

QTreeWidgetItem* ArchiveLocationsDialog::AppendRow(const QString& path, const QString& size,
                                                   const QString& fileSize) {
  auto* item = new QTreeWidgetItem({path, size, fileSize});
  item->setTextAlignment(kSizeColumn, Qt::AlignCenter);
  item->setTextAlignment(kFileSizeColumn, Qt::AlignCenter);
  list_->addTopLevelItem(item);
  return item;
}

void ArchiveLocationsDialog::FillList() {
  list_->clear();
  const int count = database_.LocationCount();
  for (int i = 0; i < count; ++i) {
    archive::ArchiveLocation location;
    if (!database_.GetLocation(i, &location)) continue;
    AppendRow(QString::fromStdString(location.path), MiBText(location.space), MiBText(location.maxFileSize));
  }
  shell::StyleListView(list_);
  if (RowCount() > 0) SelectRow(0);
}

int ArchiveLocationsDialog::RowOfPath(const QString& path, int except) const {
  for (int row = 0; row < RowCount(); ++row) {
    if (row != except && RowText(row, kPathColumn) == path) return row;
  }
  return -1;
}

void ArchiveLocationsDialog::AddRow() {
  AppendRow(QDir(dataFolder_).filePath(QString::fromLatin1(kNewFolderName)), QString(), QString());
  const int row = RowCount() - 1;
  SelectRow(row);
  EditCell(row, kPathColumn);
}

void ArchiveLocationsDialog::DeleteSelectedRow() {
  const int row = SelectedRow();
  if (row < 0) return;
  delete list_->takeTopLevelItem(row);
  changed_ = true;
}

void ArchiveLocationsDialog::ChangePath() {
  const int row = SelectedRow();
  if (row < 0) return;
  const QString chosen = browseFolder_(this, RowText(row, kPathColumn));
  if (chosen.isEmpty()) return;
  list_->topLevelItem(row)->setText(kPathColumn, QDir::cleanPath(chosen));
  ValidateRow(row);
}

void ArchiveLocationsDialog::EditCell(int row, Column column) {
  QTreeWidgetItem* item = list_->topLevelItem(row);
  if (item == nullptr || column < kPathColumn || column > kFileSizeColumn) return;
  list_->scrollToItem(item);
  const QRect line = list_->visualItemRect(item);
  const QHeaderView* header = list_->header();
  const QRect cell(header->sectionViewportPosition(column), line.top(), header->sectionSize(column), line.height());
  edit_->Begin(column, row, cell.adjusted(0, -2, 0, 2), item->text(column));
}

void ArchiveLocationsDialog::OnEditEnded(int column, int row) {
  QTreeWidgetItem* item = list_->topLevelItem(row);
  if (item == nullptr) return;
  item->setText(column, column == kPathColumn ? QDir::cleanPath(edit_->text().trimmed()) : edit_->text());
  if (column == kPathColumn) {
    ValidateRow(row);
  } else {
    AdjustRowSizes(row);
  }
}

void ArchiveLocationsDialog::OnSelectionChanged() {
  const int row = SelectedRow();
  if (row < 0 || rebuilding_) return;
  const DriveSpace drive = space_(Utf8(RowText(row, kPathColumn)));
  status_->setText(TrFormat(text::kMegabytesAvailable, static_cast<int>(std::min<uint64_t>(drive.freeMiB, INT32_MAX))));
}

void ArchiveLocationsDialog::ValidateRow(int row) {
  list_->resizeColumnToContents(kPathColumn);
  const QString path = RowText(row, kPathColumn);
  const int other = RowOfPath(path, row);
  if (other >= 0) {
    delete list_->takeTopLevelItem(row);
    SelectRow(other > row ? other - 1 : other);
    return;
  }
  changed_ = true;
  database_.MessageLog().Reset();
  const archive::ScanSummary found = database_.ScanPath(Utf8(path));
  if (database_.MessageLog().Count() > 0) ShowLog({});
  QTreeWidgetItem* item = list_->topLevelItem(row);
  if (found.largestFile > 0) {
    if (found.earliest > 0) {
      const QByteArray from = TimeText(found.earliest).toUtf8();
      const QByteArray to = TimeText(found.latest).toUtf8();
      Ask(Lines(TrFormat(text::kFoundRecordings, from.constData(), to.constData())), MessageStyle::kOk);
    }
    item->setText(kSizeColumn, MiBText(found.totalSize));
    item->setText(kFileSizeColumn, MiBText(found.largestFile));
    return;
  }
  const std::optional<LocationSizes> sizes = ProposeSizes(space_(Utf8(path)));
  if (!sizes) {
    Ask(Tr(text::kNoFreeSpaceOnDisk), MessageStyle::kOk);
    delete list_->takeTopLevelItem(row);
    return;
  }
  item->setText(kSizeColumn, QString::number(sizes->sizeMiB));
  item->setText(kFileSizeColumn, QString::number(sizes->fileSizeMiB));
}

void ArchiveLocationsDialog::AdjustRowSizes(int row) {
  QTreeWidgetItem* item = list_->topLevelItem(row);
  changed_ = true;
  bool noSpace = false;
  const LocationSizes sizes = AdjustSizes(item->text(kSizeColumn).trimmed().toLongLong(),
                                          item->text(kFileSizeColumn).trimmed().toLongLong(),
                                          space_(Utf8(RowText(row, kPathColumn))), &noSpace);
  if (noSpace) Ask(Tr(text::kNoFreeSpaceOnThisDisk), MessageStyle::kOk);
  item->setText(kSizeColumn, QString::number(sizes.sizeMiB));
  item->setText(kFileSizeColumn, QString::number(sizes.fileSizeMiB));
}

// ---------------------------------------------------------------------------------------------
// Messages

MessageResult ArchiveLocationsDialog::Ask(const QString& text, MessageStyle style, const QString& caption) {
  return ask_(text, style, caption);
}

void ArchiveLocationsDialog::ShowLog(const QString& caption) {
  Ask(Lines(database_.MessageLog().Summary(shell::ArchiveLogWords())), MessageStyle::kOk, caption);
}

QString ArchiveLocationsDialog::TimeText(uint64_t time) const {
  const std::string clock(shell::Text(text::kTimeFormat));
  const std::string date(shell::Text(text::kDateFormat));
  return QString::fromStdString(archive::FormatArchiveTime(time, clock.c_str()) + " / " +
                                archive::FormatArchiveTime(time, date.c_str()));
}

// ---------------------------------------------------------------------------------------------
// Closing

void ArchiveLocationsDialog::reject() {
  if (rebuilding_) return;
  if (changed_) {
    const MessageResult answer = Ask(Tr(text::kRebuildArchiveQuestion), MessageStyle::kYesNoCancel,
                                     Tr(text::kRecordingArchives));
    if (answer == MessageResult::kCancel) return;
    if (answer == MessageResult::kYes) {
      closeAfterRebuild_ = true;
      StartRebuild();
      return;
    }
  }
  DialogFrame::reject();
}

// ---------------------------------------------------------------------------------------------
// The rebuild

void ArchiveLocationsDialog::SetBusy(bool busy) {
  for (shell::PictureButton* button : buttons_) button->setEnabled(!busy);
  list_->setEnabled(!busy);
  fastFormatting_->setEnabled(!busy);
}

void ArchiveLocationsDialog::StartRebuild() {
  if (rebuilding_) return;
  // An edit still open ends first, so that the rows hold what the operator typed.
  if (edit_->IsEditing()) edit_->clearFocus();
  rows_.clear();
  for (int row = 0; row < RowCount(); ++row) {
    rows_.push_back({Utf8(RowText(row, kPathColumn)), BytesOfCell(RowText(row, kSizeColumn)),
                     BytesOfCell(RowText(row, kFileSizeColumn))});
  }
  rebuilding_ = true;
  SetBusy(true);
  progress_->clear();
  status_->setText(Lines(Tr(text::kRebuildingArchive)));
  // Recording stops here and starts again when the database opens at the end.
  database_.Close();
  database_.SetRebuildTexts({Utf8(Tr(text::kRebuildDeletingFile)), Utf8(Tr(text::kRebuildCreatingFile))});
  pass_ = Pass::kDeleting;
  cursor_ = 0;
  RebuildStep();
}

void ArchiveLocationsDialog::RebuildStep() {
  const auto rowOf = [this](const std::string& path) {
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].path == path) return static_cast<int>(i);
    }
    return -1;
  };
  for (;;) {
    switch (pass_) {
      case Pass::kDeleting: {
        if (cursor_ >= database_.LocationCount()) {
          pass_ = Pass::kUpdating;
          cursor_ = 0;
          break;
        }
        const std::string path = database_.LocationPath(cursor_);
        if (rowOf(path) >= 0) {
          ++cursor_;
          break;
        }
        archive::ArchiveLocation before;
        database_.GetLocation(cursor_, &before);
        database_.MarkLocationDeleted(cursor_);
        if (RebuildLocation(cursor_, TrFormat(text::kDeletingLocation, path.c_str()), true)) return;
        // Declined: the location keeps its sizes (one already marked for deletion stays marked).
        if (!before.IsMarkedDeleted()) {
          database_.UpdateLocation(cursor_, before.space, before.maxFileSize, before.minFileNumber);
        }
        ++cursor_;
        break;
      }
      case Pass::kUpdating: {
        if (cursor_ >= database_.LocationCount()) {
          pass_ = Pass::kAdding;
          cursor_ = 0;
          break;
        }
        const std::string path = database_.LocationPath(cursor_);
        const int row = rowOf(path);
        if (row < 0) {  // a deletion the operator declined
          ++cursor_;
          break;
        }
        database_.UpdateLocation(cursor_, rows_[row].space, rows_[row].fileSize, 0);
        if (RebuildLocation(cursor_, TrFormat(text::kUpdatingLocation, path.c_str()), false)) return;
        // The recordings stay, and the settings describe the files that hold them.
        const archive::ScanSummary found = database_.ScanPath(path);
        database_.UpdateLocation(cursor_, found.totalSize, found.largestFile, 0);
        ++cursor_;
        break;
      }
      case Pass::kAdding: {
        if (cursor_ >= static_cast<int>(rows_.size())) {
          FinishRebuild();
          return;
        }
        const Row& row = rows_[static_cast<size_t>(cursor_)];
        const int index = database_.FindLocation(row.path) >= 0
                              ? -1
                              : database_.AddLocation(row.path, row.space, row.fileSize, 0);
        if (index >= 0) {
          if (RebuildLocation(index, TrFormat(text::kAddingLocation, row.path.c_str()), false)) return;
          // Declined: the location goes again at once, without touching a file.
          database_.MarkLocationDeleted(index);
          database_.ApplyLocation(index, {}, {}, {}, {}, true);
        }
        ++cursor_;
        break;
      }
    }
  }
}

bool ArchiveLocationsDialog::RebuildLocation(int index, const QString& title, bool deletion) {
  title_ = title;
  database_.MessageLog().Reset();
  std::vector<archive::ArchiveFileInfo> remove;
  std::vector<archive::ArchiveFileInfo> create;
  if (!database_.PlanLocation(index, &remove, &create)) {
    ShowLog(title);
    return false;
  }
  if (deletion) create.clear();
  uint64_t earliest = 0;
  uint64_t latest = 0;
  for (const archive::ArchiveFileInfo& f : remove) {
    if (f.IsEmpty()) continue;
    if (earliest == 0 || f.firstTime < earliest) earliest = f.firstTime;
    latest = std::max(latest, f.lastTime);
  }
  if (earliest > 0 || latest > 0) {
    const QByteArray from = TimeText(earliest).toUtf8();
    const QByteArray to = TimeText(latest).toUtf8();
    if (Ask(Lines(TrFormat(text::kLossWarning, from.constData(), to.constData())), MessageStyle::kYesNo, title) !=
        MessageResult::kYes) {
      return false;
    }
  }
  locationsBefore_ = database_.LocationCount();
  return rebuilder_->Start(index, std::move(remove), std::move(create), fastFormatting_->isChecked());
}

void ArchiveLocationsDialog::OnLocationRebuilt() {
  progress_->clear();
  if (database_.MessageLog().Count() > 0) ShowLog(title_);
  // A deleted location has left the list: the same index now holds the next one.
  if (pass_ != Pass::kDeleting || database_.LocationCount() >= locationsBefore_) ++cursor_;
  RebuildStep();
}

void ArchiveLocationsDialog::FinishRebuild() {
  database_.MessageLog().Reset();
  database_.Open(false);
  if (database_.MessageLog().Count() > 0) ShowLog(Tr(text::kRecordingArchives));
  changed_ = false;
  rebuilding_ = false;
  rebuilt_ = true;
  status_->clear();
  progress_->clear();
  SetBusy(false);
  FillList();
  emit RebuildFinished();
  if (closeAfterRebuild_) DialogFrame::reject();
}

// ---------------------------------------------------------------------------------------------

bool RunArchiveLocations(archive::ArchiveDatabase& database, const QString& dataFolder, QWidget* parent,
                         bool markChanged, const std::function<void()>& rebuilt) {
  ArchiveLocationsDialog dialog(database, dataFolder, parent);
  dialog.SetChanged(markChanged);
  if (rebuilt) QObject::connect(&dialog, &ArchiveLocationsDialog::RebuildFinished, &dialog, rebuilt);
  dialog.exec();
  return dialog.Rebuilt();
}

namespace {

// Keeps the gallery's sample database alive exactly as long as the dialog that shows it.
class SampleOwner : public QObject {
 public:
  archive::ArchiveDatabase database{"/var/lib/strixc"};
};

std::unique_ptr<QWidget> LocationsPage() {
  auto* owner = new SampleOwner;
  owner->database.AddLocation("/srv/video/archive", 9400 * kMiB, 200 * kMiB, 0);
  owner->database.AddLocation("/media/backup-disk/strixc", 600 * kMiB, 100 * kMiB, 0);
  auto dialog = std::make_unique<ArchiveLocationsDialog>(owner->database, QStringLiteral("/var/lib/strixc"));
  owner->setParent(dialog.get());
  dialog->SetSpaceProbe([](const std::string&) { return DriveSpace{48213, false}; });
  dialog->SelectRow(1);
  dialog->SelectRow(0);
  return dialog;
}

}  // namespace

std::vector<shell::GalleryPage> BrowserGalleryPages() { return {{QStringLiteral("archive_locations"), LocationsPage}}; }

}  // namespace strixc::browser
