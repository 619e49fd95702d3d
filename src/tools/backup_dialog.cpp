#include "tools/backup_dialog.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "archive/archive_database.h"
#include "archive/archive_format.h"
#include "archive/archive_recorder.h"
#include "archive/archive_time.h"
#include "shell/archive_log_words.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::tools {

namespace text = shell::text;

using archive::ArchiveBackup;
using shell::MessageResult;
using shell::MessageStyle;
using shell::Tr;
using shell::TrFormat;

namespace {

// Larger sizes are taken for a typing mistake rather than a file size (and would overflow bytes).
constexpr qint64 kMaxFileSizeMiB = qint64{1} << 30;

QDateTime PickerTime(uint64_t archiveTime) {
  const archive::TimeFields f = archive::FieldsOfTime(archive::ToWallClock(archiveTime));
  return QDateTime(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second));
}

uint64_t ArchiveTimeOf(const QDateTime& shown) {
  const QDate d = shown.date();
  const QTime t = shown.time();
  const std::optional<uint64_t> wall =
      archive::TimeOfFields(archive::TimeFields{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), 0});
  return wall ? archive::FromWallClock(*wall) : 0;
}

// The pickers' format as Qt reads it: a year of at least three digits is Qt's four-digit year.
QString PickerFormat() {
  QString format = Tr(text::kBackupPickerFormat);
  if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yyy"), QLatin1String("yyyy"));
  return format;
}

shell::PictureButton* MakeButton(QWidget* parent, const char* name, const QString& label, bool twoState) {
  auto* button = new shell::PictureButton(label, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->SetToggleMode(twoState);
  return button;
}

QProgressBar* MakeBar(QWidget* parent, const char* name) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  bar->setMinimumWidth(300);
  return bar;
}

}  // namespace

// The copy's listener, on the worker thread: questions and failures wait for the operator's
// answer in this window; progress and status are posted and not waited for.
class BackupDialog::Bridge : public ArchiveBackup::Listener {
 public:
  explicit Bridge(BackupDialog* dialog) : dialog_(dialog) {}

  bool Ask(ArchiveBackup::Question question, const std::string& text) override {
    const QString argument = QString::fromStdString(text);
    QString message;
    // A dialog going away answers so that the copy ends at once.
    bool fallback = false;
    switch (question) {
      case ArchiveBackup::Question::kCreateFile:
        message = TrFormat(text::kCreateFileQuestion, text.c_str());
        break;
      case ArchiveBackup::Question::kCancelOperation:
        message = Tr(text::kCancelOperationQuestion);
        fallback = true;
        break;
      case ArchiveBackup::Question::kSourceMessages:
      case ArchiveBackup::Question::kDestinationMessages:
        message = argument + Tr(text::kContinueQuestion);
        break;
    }
    BackupDialog* dialog = dialog_;
    return dialog_->AskFromWorker(
        [dialog, message] { return dialog->Message(message, text::kBackupCaption, MessageStyle::kYesNo) == MessageResult::kYes; },
        fallback);
  }
  void Show(const std::string& text) override {
    BackupDialog* dialog = dialog_;
    const QString message = QString::fromStdString(text);
    dialog_->AskFromWorker(
        [dialog, message] {
          dialog->Message(message, text::kBackupCaption, MessageStyle::kOk);
          return true;
        },
        true);
  }
  void SetStatus(ArchiveBackup::Status status) override {
    QMetaObject::invokeMethod(dialog_, [d = dialog_, status] { d->ShowStatus(status); }, Qt::QueuedConnection);
  }
  void Progress(uint64_t, int source, int destination) override {
    QMetaObject::invokeMethod(
        dialog_, [d = dialog_, source, destination] { d->ShowProgress(source, destination); }, Qt::QueuedConnection);
  }

 private:
  BackupDialog* const dialog_;
};

BackupDialog::BackupDialog(archive::ArchiveDatabase* sourceDatabase, uint64_t from, uint64_t to, uint32_t cameraMask,
                           QWidget* parent)
    : DialogFrame(parent), source_(sourceDatabase), backup_(sourceDatabase), bridge_(std::make_unique<Bridge>(this)) {
  ask_ = [this](const QString& text, const QString& caption, MessageStyle style) {
    return shell::MessageBox::Show(this, text, style, caption);
  };
  browseFolder_ = [](QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
  };
  SetCaption(Tr(text::kBackup));
  BuildControls();

  const uint64_t earliest = source_->Earliest();
  const uint64_t latest = source_->Latest();
  if (earliest != 0 && latest >= earliest) {
    from_->setDateTimeRange(PickerTime(earliest), PickerTime(latest));
    to_->setDateTimeRange(PickerTime(earliest), PickerTime(latest));
  }
  givenFrom_ = earliest;
  givenTo_ = latest;
  if (from != 0 && to != 0) {
    givenFrom_ = std::clamp(from, earliest, std::max(earliest, latest));
    givenTo_ = std::clamp(to, earliest, std::max(earliest, latest));
  }
  from_->setDateTime(PickerTime(givenFrom_));
  to_->setDateTime(PickerTime(givenTo_));

  const uint32_t recorded = source_->CameraMask();
  for (int c = 0; c < ArchiveBackup::kCameras; ++c) {
    const bool has = (recorded >> c) & 1;
    cameras_[static_cast<size_t>(c)]->setEnabled(has);
    cameras_[static_cast<size_t>(c)]->SetChecked(has && ((cameraMask >> c) & 1));
  }
}

BackupDialog::~BackupDialog() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
  }
  answered_.notify_all();
  backup_.Cancel();
  if (worker_.joinable()) worker_.join();
}

void BackupDialog::BuildControls() {
  from_ = new QDateTimeEdit(this);
  from_->setObjectName("from");
  to_ = new QDateTimeEdit(this);
  to_->setObjectName("to");
  for (QDateTimeEdit* picker : {from_, to_}) {
    picker->setDisplayFormat(PickerFormat());
    picker->setCalendarPopup(true);
  }
  auto* period = new QGridLayout;
  period->addWidget(new QLabel(Tr(text::kFromLabel), this), 0, 0);
  period->addWidget(from_, 0, 1);
  period->addWidget(new QLabel(Tr(text::kToLabel), this), 1, 0);
  period->addWidget(to_, 1, 1);

  auto* cameraGrid = new QGridLayout;
  cameraGrid->setSpacing(2);
  for (int c = 0; c < ArchiveBackup::kCameras; ++c) {
    const QByteArray name = "camera_" + QByteArray::number(c + 1);
    auto* button = MakeButton(this, name.constData(), QString::number(c + 1), true);
    button->SetTooltip(Tr(text::kTooltipCameraSelection));
    button->setFixedSize(30, 24);
    cameras_[static_cast<size_t>(c)] = button;
    cameraGrid->addWidget(button, c / 8, c % 8);
  }

  // The system drive's root stands where the operator starts to look for a place to copy to.
  destination_ = new QLineEdit(QDir::rootPath(), this);
  destination_->setObjectName("destination");
  auto* browse = MakeButton(this, "browse", Tr(text::kBrowse), false);
  connect(browse, &shell::PictureButton::clicked, this, [this] {
    const QString chosen = browseFolder_(this, destination_->text());
    if (!chosen.isEmpty()) destination_->setText(QDir::toNativeSeparators(chosen));
  });
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(destination_, 1);
  folderRow->addWidget(browse);

  fileSize_ = new QComboBox(this);
  fileSize_->setObjectName("file_size");
  fileSize_->setEditable(true);
  fileSize_->addItems({QStringLiteral("650"), QStringLiteral("700")});
  fileSize_->setCurrentIndex(0);
  alwaysAsk_ = MakeButton(this, "always_ask", Tr(text::kAlwaysAskBeforeNewFile), true);
  alwaysAsk_->SetChecked(true);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(fileSize_);
  sizeRow->addWidget(new QLabel(Tr(text::kMegabytes), this));
  sizeRow->addSpacing(12);
  sizeRow->addWidget(alwaysAsk_, 1);

  start_ = MakeButton(this, "start", Tr(text::kStartBackup), false);
  break_ = MakeButton(this, "break", Tr(text::kBreak), false);
  break_->setEnabled(false);
  connect(start_, &shell::PictureButton::clicked, this, [this] { StartBackup(); });
  connect(break_, &shell::PictureButton::clicked, this, &BackupDialog::Break);
  auto* runRow = new QHBoxLayout;
  runRow->addWidget(start_, 1);
  runRow->addWidget(break_);

  sourceBar_ = MakeBar(this, "source_bar");
  destinationBar_ = MakeBar(this, "destination_bar");
  auto* bars = new QGridLayout;
  bars->addWidget(new QLabel(Tr(text::kSource), this), 0, 0);
  bars->addWidget(sourceBar_, 0, 1);
  bars->addWidget(new QLabel(Tr(text::kDestination), this), 1, 0);
  bars->addWidget(destinationBar_, 1, 1);

  status_ = new QLabel(this);
  status_->setObjectName("status");
  status_->setMinimumHeight(status_->fontMetrics().height() + 4);
  close_ = MakeButton(this, "close", Tr(text::kClose), false);
  connect(close_, &shell::PictureButton::clicked, this, &BackupDialog::reject);
  auto* closeRow = new QHBoxLayout;
  closeRow->addWidget(status_, 1);
  closeRow->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the controls.
  layout->setContentsMargins(14, 34, 14, 12);
  layout->setSpacing(8);
  layout->addLayout(period);
  layout->addLayout(cameraGrid);
  layout->addLayout(folderRow);
  layout->addLayout(sizeRow);
  layout->addLayout(runRow);
  layout->addLayout(bars);
  layout->addLayout(closeRow);
}

uint64_t BackupDialog::From() const {
  return from_->dateTime() == PickerTime(givenFrom_) ? givenFrom_ : ArchiveTimeOf(from_->dateTime());
}

uint64_t BackupDialog::To() const {
  return to_->dateTime() == PickerTime(givenTo_) ? givenTo_ : ArchiveTimeOf(to_->dateTime());
}

uint32_t BackupDialog::ChosenCameras() const {
  uint32_t mask = 0;
  for (int c = 0; c < ArchiveBackup::kCameras; ++c) {
    const shell::PictureButton* b = cameras_[static_cast<size_t>(c)];
    if (b->isEnabled() && b->IsChecked()) mask |= 1u << c;
  }
  return mask;
}

MessageResult BackupDialog::Message(const QString& text, int captionId, MessageStyle style) {
  return ask_(text, Tr(captionId), style);
}

bool BackupDialog::StartBackup() {
  if (IsRunning()) return false;
  ArchiveBackup::Options o;
  o.from = From();
  o.to = To();
  if (o.to <= o.from) {
    Message(Tr(text::kTimeRangeEmpty), text::kError, MessageStyle::kOk);
    return false;
  }
  o.cameraMask = ChosenCameras();
  if (o.cameraMask == 0) {
    Message(Tr(text::kNoCameraSelected), text::kError, MessageStyle::kOk);
    return false;
  }
  const QString folder = destination_->text();
  if (folder.isEmpty()) {
    Message(Tr(text::kNoDestinationSelected), text::kError, MessageStyle::kOk);
    return false;
  }
  o.destination = QDir::fromNativeSeparators(folder).toStdString();
  std::error_code ec;
  if (!std::filesystem::is_directory(o.destination, ec)) {
    const QByteArray shown = folder.toUtf8();
    if (Message(TrFormat(text::kCreateDirectoryQuestion, shown.constData()), text::kWarning, MessageStyle::kYesNo) !=
        MessageResult::kYes) {
      return false;
    }
    ec.clear();
    std::filesystem::create_directories(o.destination, ec);
    if (ec || !std::filesystem::is_directory(o.destination)) {
      const std::string reason = ec ? ec.message() : std::string("not a folder");
      Message(TrFormat(text::kCannotCreateDirectory, reason.c_str()), text::kError, MessageStyle::kOk);
      return false;
    }
  }
  bool ok = false;
  const qint64 mb = fileSize_->currentText().trimmed().toLongLong(&ok);
  if (!ok || mb < 1 || mb > kMaxFileSizeMiB) {
    Message(Tr(text::kMinimumFileSize), text::kError, MessageStyle::kOk);
    return false;
  }
  o.fileSize = static_cast<uint64_t>(mb) * ArchiveBackup::kMiB;
  o.askBeforeFile = alwaysAsk_->IsChecked();
  o.words = shell::ArchiveLogWords();

  backup_.ResetCancel();
  ShowProgress(0, 0);
  SetRunning(true);
  worker_ = std::thread([this, o] {
    result_ = backup_.Run(o, bridge_.get());
    QMetaObject::invokeMethod(this, &BackupDialog::OnCopyEnded, Qt::QueuedConnection);
  });
  return true;
}

void BackupDialog::Break() { backup_.Cancel(); }

void BackupDialog::OnCopyEnded() {
  if (worker_.joinable()) worker_.join();
  SetRunning(false);
  ShowStatus(ArchiveBackup::Status::kNone);
  int message = text::kOperationCancelled;
  if (result_.outcome == ArchiveBackup::Outcome::kReadError) message = text::kErrorReadingArchives;
  if (result_.outcome == ArchiveBackup::Outcome::kFinished) message = text::kBackupFinished;
  Message(Tr(message), text::kBackupCaption, MessageStyle::kOk);
  emit Finished();
}

void BackupDialog::SetRunning(bool running) {
  for (QWidget* w : std::initializer_list<QWidget*>{from_, to_, destination_, fileSize_, alwaysAsk_, start_, close_}) {
    w->setEnabled(!running);
  }
  for (shell::PictureButton* b : cameras_) b->setAttribute(Qt::WA_TransparentForMouseEvents, running);
  break_->setEnabled(running);
}

void BackupDialog::ShowProgress(int source, int destination) {
  sourceBar_->setValue(source);
  destinationBar_->setValue(destination);
}

void BackupDialog::ShowStatus(ArchiveBackup::Status status) {
  switch (status) {
    case ArchiveBackup::Status::kNone:
      status_->clear();
      break;
    case ArchiveBackup::Status::kCreatingFile:
      status_->setText(Tr(text::kCreatingFile));
      break;
    case ArchiveBackup::Status::kCopying:
      status_->setText(Tr(text::kCopying));
      break;
  }
}

void BackupDialog::reject() {
  // The copy refers to this window until it ends: "Break" first.
  if (IsRunning()) return;
  DialogFrame::reject();
}

bool BackupDialog::AskFromWorker(const std::function<bool()>& ask, bool fallback) {
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closing_) return fallback;
    id = ++question_;
  }
  // Posted with this window as context: a window destroyed meanwhile drops it, and its destructor
  // wakes the wait below.
  QMetaObject::invokeMethod(
      this,
      [this, ask, id] {
        const bool answer = ask();
        {
          std::lock_guard<std::mutex> guard(lock_);
          answer_ = answer;
          answeredQuestion_ = id;
        }
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> guard(lock_);
  answered_.wait(guard, [this, id] { return closing_ || answeredQuestion_ >= id; });
  return answeredQuestion_ >= id ? answer_ : fallback;
}

void RunBackup(archive::ArchiveDatabase& database, uint64_t from, uint64_t to, uint32_t cameraMask, QWidget* parent) {
  BackupDialog dialog(&database, from, to, cameraMask, parent);
  dialog.exec();
}

namespace {

// A small archive for the gallery: six cameras over two hours, in a folder that lives as long as
// the dialog showing it.
class SampleArchive : public QObject {
 public:
  SampleArchive() : db(dir.path().toStdString()) {
    const std::string folder = dir.filePath(QStringLiteral("archive")).toStdString();
    db.MarkLocationDeleted(0);
    db.ApplyLocation(0, {}, {}, {}, {}, true);
    db.AddLocation(folder, archive::kMiB, archive::kMiB, 0);
    std::vector<archive::ArchiveFileInfo> deleteList;
    std::vector<archive::ArchiveFileInfo> createList;
    db.PlanLocation(0, &deleteList, &createList);
    db.ApplyLocation(0, deleteList, createList, {}, {}, true);
    db.Open(false);
    archive::ArchiveRecorder recorder;
    recorder.Attach(&db);
    recorder.SetEnabled(true);
    const uint64_t start = *archive::TimeOfFields(archive::TimeFields{2026, 12, 7, 8, 0, 0, 0});
    const uint8_t payload[16] = {};
    for (int minute = 0; minute <= 120; minute += 10) {
      for (int camera = 0; camera < 6; ++camera) {
        recorder.WriteRecord(archive::RecordType::kKeyFrame, camera,
                             start + static_cast<uint64_t>(minute) * 60 * archive::kUnitsPerSecond, payload,
                             sizeof payload);
      }
    }
    recorder.Detach();
  }

  QTemporaryDir dir;
  archive::ArchiveDatabase db;
};

std::unique_ptr<BackupDialog> MakeSampleDialog(SampleArchive** archive) {
  auto* sample = new SampleArchive;
  const uint64_t from = sample->db.Earliest() + 30 * 60 * archive::kUnitsPerSecond;
  auto dialog = std::make_unique<BackupDialog>(&sample->db, from, sample->db.Latest(), 0b1011);
  // A child goes after the dialog's own destructor, which ends any copy first.
  sample->setParent(dialog.get());
  *archive = sample;
  return dialog;
}

std::unique_ptr<QWidget> BackupPage() {
  SampleArchive* sample = nullptr;
  return MakeSampleDialog(&sample);
}

std::unique_ptr<QWidget> BackupCopyingPage() {
  SampleArchive* sample = nullptr;
  auto dialog = MakeSampleDialog(&sample);
  dialog->findChild<QLineEdit*>(QStringLiteral("destination"))->setText(QStringLiteral("/media/cdrom-stage/backup"));
  dialog->ShowProgress(42, 67);
  dialog->ShowStatus(ArchiveBackup::Status::kCopying);
  return dialog;
}

}  // namespace

std::vector<shell::GalleryPage> BackupGalleryPages() {
  return {{QStringLiteral("backup"), BackupPage}, {QStringLiteral("backup_copying"), BackupCopyingPage}};
}

}  // namespace strixc::tools
