#include "browser/archive_locations_dialog.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>

#include <deque>
#include <filesystem>
#include <functional>

#include "archive/archive_format.h"
#include "archive/archive_records.h"
#include "archive/archive_time.h"
#include "browser/location_rebuilder.h"
#include "shell/in_place_edit.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::browser {
namespace {

using shell::MessageResult;
using shell::Tr;
namespace text = shell::text;
constexpr uint64_t kMiB = 1048576;

bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

uint64_t At(int day, int hour) { return *archive::TimeOfFields({2026, 12, day, hour, 0, 0, 0}); }

TEST(LocationSizesTest, ProposalsAndAdjustmentsFollowTheFreeSpace) {
  auto proposed = ProposeSizes({10000, true});
  ASSERT_TRUE(proposed);
  EXPECT_EQ(proposed->sizeMiB, 9400);
  EXPECT_EQ(proposed->fileSizeMiB, 200);
  proposed = ProposeSizes({600, true});
  ASSERT_TRUE(proposed);
  EXPECT_EQ(proposed->sizeMiB, 400);
  EXPECT_EQ(proposed->fileSizeMiB, 100);
  EXPECT_FALSE(ProposeSizes({400, true}));
  EXPECT_FALSE(ProposeSizes({0, false}));
  proposed = ProposeSizes({1000, false});  // no system reserve: 950 MiB usable
  ASSERT_TRUE(proposed);
  EXPECT_EQ(proposed->sizeMiB, 800);

  bool noSpace = true;
  EXPECT_EQ(AdjustSizes(1000, 50, {5000, false}, &noSpace).fileSizeMiB, 100);
  EXPECT_FALSE(noSpace);
  EXPECT_EQ(AdjustSizes(1000, 1000, {5000, false}, &noSpace).fileSizeMiB, 300);
  const LocationSizes three = AdjustSizes(150, 100, {5000, false}, &noSpace);
  EXPECT_EQ(three.sizeMiB, 300);
  EXPECT_EQ(AdjustSizes(-7, 200, {5000, false}, &noSpace).sizeMiB, 600);
  const LocationSizes fallback = AdjustSizes(4000, 200, {4000, false}, &noSpace);
  EXPECT_TRUE(noSpace);
  EXPECT_EQ(fallback.sizeMiB, 300);
  EXPECT_EQ(fallback.fileSizeMiB, 100);
}

// A data folder with a database whose locations the test sets, and the dialog over it with the
// free space, the folder chooser and every message under the test's control.
class ArchiveLocationsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.isValid());
    db_.MarkLocationDeleted(0);
    ASSERT_TRUE(db_.ApplyLocation(0, {}, {}, {}, {}, true));
  }

  std::string Folder(const char* name) { return data_.filePath(name).toStdString(); }

  // An archive file of 1 MiB whose header holds the given times.
  void WriteArchive(const std::string& folder, int32_t number, uint64_t first, uint64_t last) {
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + archive::ArchiveFileName(number);
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kMiB)), 0);
    uint8_t bytes[archive::kHeaderSize];
    archive::FileHeader{first, last, 1, 1}.Encode(bytes);
    ASSERT_EQ(::pwrite(fd, bytes, sizeof bytes, 0), static_cast<ssize_t>(sizeof bytes));
    ::close(fd);
  }

  void Open() {
    dialog_ = std::make_unique<ArchiveLocationsDialog>(db_, data_.path());
    dialog_->SetSpaceProbe([this](const std::string&) { return drive_; });
    dialog_->SetAsker([this](const QString& text, shell::MessageStyle, const QString& caption) {
      messages_ << text;
      captions_ << caption;
      if (answers_.empty()) return MessageResult::kYes;
      const MessageResult answer = answers_.front();
      answers_.pop_front();
      return answer;
    });
    dialog_->SetFolderBrowser([this](QWidget*, const QString&) { return chosen_; });
    dialog_->show();
  }

  // Types into the open in-place editor and presses Enter.
  void Type(const QString& value) {
    auto* edit = dialog_->findChild<shell::InPlaceEdit*>("cell_edit");
    ASSERT_TRUE(edit->IsEditing());
    edit->setText(value);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    ASSERT_FALSE(edit->IsEditing());
  }

  QString Status() const { return dialog_->findChild<QLabel*>("status")->text(); }

  QTemporaryDir data_;
  archive::ArchiveDatabase db_{data_.path().toStdString()};
  std::unique_ptr<ArchiveLocationsDialog> dialog_;
  DriveSpace drive_{10000, true};
  QString chosen_;
  QStringList messages_;
  QStringList captions_;
  std::deque<MessageResult> answers_;
};

TEST_F(ArchiveLocationsDialogTest, RowsAreAddedChangedAndDeletedWithoutTouchingTheDatabase) {
  ASSERT_EQ(db_.AddLocation(Folder("a"), 600 * kMiB, 200 * kMiB, 0), 0);
  Open();
  ASSERT_EQ(dialog_->RowCount(), 1);
  EXPECT_EQ(dialog_->RowText(0, ArchiveLocationsDialog::kSizeColumn), "600");
  EXPECT_EQ(dialog_->RowText(0, ArchiveLocationsDialog::kFileSizeColumn), "200");
  EXPECT_EQ(Status(), shell::TrFormat(text::kMegabytesAvailable, 10000));
  EXPECT_FALSE(dialog_->Changed());

  // A new row starts on <data>/stxcVideoBase0 with its path open for editing; an empty folder gets
  // sizes from the free space.
  dialog_->AddRow();
  EXPECT_EQ(dialog_->RowText(1, ArchiveLocationsDialog::kPathColumn), data_.filePath("stxcVideoBase0"));
  Type(QString::fromStdString(Folder("b")));
  EXPECT_EQ(dialog_->RowText(1, ArchiveLocationsDialog::kSizeColumn), "9400");
  EXPECT_EQ(dialog_->RowText(1, ArchiveLocationsDialog::kFileSizeColumn), "200");
  EXPECT_TRUE(dialog_->Changed());

  // The same folder twice: the new row goes and the listed one is selected.
  dialog_->AddRow();
  Type(QString::fromStdString(Folder("a")));
  EXPECT_EQ(dialog_->RowCount(), 2);
  EXPECT_EQ(dialog_->SelectedRow(), 0);

  // A folder holding archive files takes its sizes from them and tells their time range.
  WriteArchive(Folder("c"), 1, At(1, 10), At(1, 11));
  WriteArchive(Folder("c"), 2, At(2, 10), At(2, 11));
  dialog_->SelectRow(1);
  chosen_ = QString::fromStdString(Folder("c"));
  dialog_->ChangePath();
  EXPECT_EQ(dialog_->RowText(1, ArchiveLocationsDialog::kPathColumn), chosen_);
  EXPECT_EQ(dialog_->RowText(1, ArchiveLocationsDialog::kSizeColumn), "2");
  EXPECT_EQ(dialog_->RowText(1, ArchiveLocationsDialog::kFileSizeColumn), "1");
  ASSERT_FALSE(messages_.isEmpty());
  EXPECT_TRUE(messages_.back().startsWith(Tr(text::kFoundRecordings).left(20))) << messages_.back().toStdString();

  // Typed sizes become whole files of 100..300 MiB, at least three.
  dialog_->EditCell(0, ArchiveLocationsDialog::kFileSizeColumn);
  Type("50");
  EXPECT_EQ(dialog_->RowText(0, ArchiveLocationsDialog::kFileSizeColumn), "100");
  EXPECT_EQ(dialog_->RowText(0, ArchiveLocationsDialog::kSizeColumn), "600");
  dialog_->EditCell(0, ArchiveLocationsDialog::kSizeColumn);
  Type("150");
  EXPECT_EQ(dialog_->RowText(0, ArchiveLocationsDialog::kSizeColumn), "300");

  // Too little room for a new location: told, and the row goes.
  drive_ = {400, true};
  dialog_->AddRow();
  Type(QString::fromStdString(Folder("d")));
  EXPECT_EQ(messages_.back(), Tr(text::kNoFreeSpaceOnDisk));
  EXPECT_EQ(dialog_->RowCount(), 2);

  dialog_->SelectRow(1);
  dialog_->DeleteSelectedRow();
  EXPECT_EQ(dialog_->RowCount(), 1);

  // Closing with changes asks; Cancel stays, No closes and the database is as it was.
  messages_.clear();
  answers_ = {MessageResult::kCancel, MessageResult::kNo};
  dialog_->reject();
  EXPECT_TRUE(dialog_->isVisible());
  dialog_->reject();
  EXPECT_FALSE(dialog_->isVisible());
  ASSERT_EQ(messages_.size(), 2);
  EXPECT_EQ(messages_[0], Tr(text::kRebuildArchiveQuestion));
  EXPECT_EQ(captions_.back(), Tr(text::kRecordingArchives));
  archive::ArchiveLocation location;
  ASSERT_TRUE(db_.GetLocation(0, &location));
  EXPECT_EQ(location.space, 600 * kMiB);
  EXPECT_EQ(db_.LocationCount(), 1);
  EXPECT_FALSE(std::filesystem::exists(Folder("a")));
}

TEST_F(ArchiveLocationsDialogTest, RebuildRunsOnTheWorkerWithTheLossWarningAndRefreshesTheList) {
  ASSERT_EQ(db_.AddLocation(Folder("a"), 3 * kMiB, kMiB, 0), 0);
  ASSERT_EQ(db_.AddLocation(Folder("b"), 2 * kMiB, kMiB, 0), 1);
  WriteArchive(Folder("b"), 1, At(1, 10), At(1, 11));
  WriteArchive(Folder("b"), 2, At(2, 10), At(2, 11));
  ASSERT_TRUE(db_.Open(false));
  Open();
  ASSERT_EQ(dialog_->RowCount(), 2);

  // Dropping b loses its recordings: the operator first declines, and nothing happens to them.
  dialog_->SelectRow(1);
  dialog_->DeleteSelectedRow();
  answers_ = {MessageResult::kNo};
  dialog_->StartRebuild();
  EXPECT_TRUE(dialog_->Rebuilding()) << "the worker makes a's files after StartRebuild returns";
  EXPECT_FALSE(db_.IsOpen());
  QStringList seen;
  QObject::connect(dialog_->findChild<LocationRebuilder*>(), &LocationRebuilder::StatusChanged,
                   [&](const QString& status) { seen << status; });
  ASSERT_TRUE(WaitFor([&] { return !dialog_->Rebuilding(); }));
  ASSERT_FALSE(messages_.isEmpty());
  EXPECT_TRUE(messages_[0].contains(QString::fromStdString(archive::FormatLocal(At(1, 10), "%d.%m.%Y"))))
      << messages_[0].toStdString();
  EXPECT_EQ(captions_[0], shell::TrFormat(text::kDeletingLocation, Folder("b").c_str()));
  EXPECT_TRUE(db_.IsOpen());
  EXPECT_EQ(db_.LocationCount(), 2);
  EXPECT_EQ(dialog_->RowCount(), 2) << "the list shows the database again";
  EXPECT_EQ(db_.Files().size(), 5u);  // a's three new files and b's two
  EXPECT_EQ(seen.filter(QString::fromStdString(archive::ArchiveFileName(3))).size(), 1)
      << "the worker's status reached the dialog";
  EXPECT_FALSE(dialog_->Changed());
  EXPECT_TRUE(dialog_->Rebuilt());

  // Now accepted: b's files and the location go.
  messages_.clear();
  dialog_->SelectRow(1);
  dialog_->DeleteSelectedRow();
  answers_ = {MessageResult::kYes};
  dialog_->StartRebuild();
  ASSERT_TRUE(WaitFor([&] { return !dialog_->Rebuilding(); }));
  EXPECT_EQ(messages_.size(), 1) << "the loss warning, and no error";
  EXPECT_EQ(db_.LocationCount(), 1);
  EXPECT_EQ(dialog_->RowCount(), 1);
  EXPECT_EQ(dialog_->RowText(0, ArchiveLocationsDialog::kPathColumn), QString::fromStdString(Folder("a")));
  EXPECT_FALSE(std::filesystem::exists(Folder("b") + "/" + archive::ArchiveFileName(1)));
  EXPECT_EQ(db_.Files().size(), 3u);
  EXPECT_EQ(Status(), shell::TrFormat(text::kMegabytesAvailable, 10000)) << "the selected row's drive again";
}

TEST_F(ArchiveLocationsDialogTest, ClosingWithChangesCanRebuildAndCannotCloseMidway) {
  ASSERT_EQ(db_.AddLocation(Folder("a"), 3 * kMiB, kMiB, 0), 0);
  Open();
  dialog_->SetChanged(true);  // the location was just added for the dialog
  answers_ = {MessageResult::kYes};
  dialog_->reject();
  ASSERT_TRUE(dialog_->Rebuilding());
  dialog_->reject();  // refused while the worker runs
  EXPECT_TRUE(dialog_->isVisible());
  ASSERT_TRUE(WaitFor([&] { return !dialog_->isVisible(); }));
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_TRUE(db_.IsOpen());
  EXPECT_EQ(db_.TotalSize(), 3 * kMiB);
}

}  // namespace
}  // namespace strixc::browser
