#include "export/dialogs/export_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <iterator>

#include "archive/archive_time.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::exporting {

namespace {

using shell::Tr;
using shell::TrFormat;
namespace text = shell::text;

// Wide enough for a path in a user's home folder without scrolling.
constexpr int kFileNameWidth = 320;

QString& RememberedName() {
  static QString name;
  return name;
}

QString TimeAndDate(uint64_t time, bool wallClock) {
  const std::string format = std::string(shell::Text(text::kTimeFormat)) + "  " + std::string(shell::Text(text::kDateFormat));
  return QString::fromStdString(wallClock ? archive::FormatLocal(time, format.c_str())
                                          : archive::FormatArchiveTime(time, format.c_str()));
}

QLineEdit* ReadOnlyField(QWidget* parent, const char* name, const QString& content) {
  auto* field = new QLineEdit(content, parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setReadOnly(true);
  return field;
}

shell::PictureButton* MakeButton(QWidget* parent, const char* name, int textId) {
  auto* button = new shell::PictureButton(Tr(textId), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

}  // namespace

ExportDialog::ExportDialog(int camera, const QString& cameraName, uint64_t start, uint64_t end, QWidget* parent,
                           bool wallClockTimes)
    : DialogFrame(parent) {
  SetCaption(Tr(text::kExportAviTitle));

  rate_ = new QComboBox(this);
  rate_->setObjectName("frame_rate");
  for (int rate : kRates) rate_->addItem(QString::number(rate));
  rate_->setCurrentIndex(kInitialRateItem);

  fileName_ = new QLineEdit(RememberedName(), this);
  fileName_->setObjectName("file_name");
  fileName_->setMinimumWidth(kFileNameWidth);
  auto* browse = MakeButton(this, "browse", text::kExportBrowse);
  connect(browse, &shell::PictureButton::clicked, this, &ExportDialog::Browse);

  error_ = new QLabel(Tr(text::kEnterFileName), this);
  error_->setObjectName("file_name_error");
  error_->hide();
  connect(fileName_, &QLineEdit::textEdited, error_, &QWidget::hide);

  const QByteArray name = cameraName.toUtf8();
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->addWidget(new QLabel(Tr(text::kExportCamera), this), 0, 0);
  grid->addWidget(ReadOnlyField(this, "camera", TrFormat(text::kExportCameraText, camera + 1, name.constData())), 0, 1, 1, 2);
  grid->addWidget(new QLabel(Tr(text::kExportFrom), this), 1, 0);
  grid->addWidget(ReadOnlyField(this, "start", TimeAndDate(start, wallClockTimes)), 1, 1, 1, 2);
  grid->addWidget(new QLabel(Tr(text::kExportTo), this), 2, 0);
  grid->addWidget(ReadOnlyField(this, "end", TimeAndDate(end, wallClockTimes)), 2, 1, 1, 2);
  grid->addWidget(new QLabel(Tr(text::kFramesPerSecondInAvi), this), 3, 0);
  grid->addWidget(rate_, 3, 1, Qt::AlignLeft);
  grid->addWidget(new QLabel(Tr(text::kExportFileName), this), 4, 0);
  grid->addWidget(fileName_, 4, 1);
  grid->addWidget(browse, 4, 2);
  grid->addWidget(error_, 5, 1, 1, 2);

  auto* ok = MakeButton(this, "ok", text::kOk);
  auto* cancel = MakeButton(this, "cancel", text::kCancel);
  connect(ok, &shell::PictureButton::clicked, this, &ExportDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  SetDefaultButton(ok);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addLayout(grid);
  layout->addLayout(buttons);
}

int ExportDialog::RateOfItem(int item) {
  return item >= 0 && item < static_cast<int>(std::size(kRates)) ? kRates[item] : kFallbackRate;
}

std::string ExportDialog::FileName() const { return fileName_->text().trimmed().toStdString(); }

int ExportDialog::FramesPerSecond() const { return RateOfItem(rate_->currentIndex()); }

QString ExportDialog::LastFileName() { return RememberedName(); }

void ExportDialog::SetLastFileName(const QString& name) { RememberedName() = name; }

void ExportDialog::accept() {
  QString name = fileName_->text().trimmed();
  // The writer would be asked to create a file named "" (or a folder's name): refused here, where
  // the operator can still type one.
  if (name.isEmpty() || name.endsWith(QLatin1Char('/'))) {
    error_->show();
    fileName_->setFocus();
    return;
  }
  if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".avi");
  fileName_->setText(name);
  RememberedName() = name;
  DialogFrame::accept();
}

void ExportDialog::Browse() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("avi"));
  dialog.setNameFilters({Tr(text::kAviFiles), Tr(text::kMkvFiles), Tr(text::kMp4Files)});
  // A name typed without an extension gets the one of the kind of file chosen in the list.
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    dialog.setDefaultSuffix(filter.contains(QStringLiteral("*.mkv"))   ? QStringLiteral("mkv")
                            : filter.contains(QStringLiteral("*.mp4")) ? QStringLiteral("mp4")
                                                                       : QStringLiteral("avi"));
  });
  const QString current = fileName_->text().trimmed();
  if (!current.isEmpty()) dialog.selectFile(current);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  fileName_->setText(dialog.selectedFiles().constFirst());
  error_->hide();
}

bool AskExport(int camera, const QString& cameraName, uint64_t start, uint64_t end, QWidget* parent,
               std::string* fileName, int* framesPerSecond) {
  ExportDialog dialog(camera, cameraName, start, end, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  *fileName = dialog.FileName();
  *framesPerSecond = dialog.FramesPerSecond();
  return true;
}

}  // namespace strixc::exporting
