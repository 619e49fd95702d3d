#include "tools/backup_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_format.h"
#include "archive/archive_recorder.h"
#include "archive/archive_time.h"
#include "shell/picture_button.h"

namespace strixc::tools {
namespace {

using shell::MessageResult;
using shell::MessageStyle;

// An archive of cameras 0, 1 and 3, a key frame each per minute for an hour; the dialog over it
// with its questions answered Yes and written down.
class BackupDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<archive::ArchiveDatabase>(dir_.path().toStdString());
    db_->MarkLocationDeleted(0);
    db_->ApplyLocation(0, {}, {}, {}, {}, true);
    db_->AddLocation(dir_.filePath("source").toStdString(), 4 * archive::kMiB, 4 * archive::kMiB, 0);
    std::vector<archive::ArchiveFileInfo> deleteList, createList;
    ASSERT_TRUE(db_->PlanLocation(0, &deleteList, &createList));
    ASSERT_TRUE(db_->ApplyLocation(0, deleteList, createList, {}, {}, true));
    ASSERT_TRUE(db_->Open(false));
    archive::ArchiveRecorder recorder;
    recorder.Attach(db_.get());
    recorder.SetEnabled(true);
    start_ = *archive::TimeOfFields(archive::TimeFields{2026, 12, 7, 8, 0, 0, 0});
    const std::vector<uint8_t> payload(20000, 7);
    for (uint64_t minute = 0; minute <= 60; ++minute) {
      for (int camera : {0, 1, 3}) {
        ASSERT_TRUE(recorder.WriteRecord(archive::RecordType::kKeyFrame, camera,
                                         start_ + minute * 60 * archive::kUnitsPerSecond + camera, payload.data(),
                                         payload.size()));
      }
    }
    recorder.Detach();
  }

  void Open(uint64_t from, uint64_t to, uint32_t cameras) {
    dialog_ = std::make_unique<BackupDialog>(db_.get(), from, to, cameras);
    dialog_->SetAsker([this](const QString& text, const QString& caption, MessageStyle) {
      messages_.push_back(caption + ": " + text);
      return MessageResult::kYes;
    });
  }
  shell::PictureButton* Camera(int number) {
    return dialog_->findChild<shell::PictureButton*>(QStringLiteral("camera_%1").arg(number));
  }
  void SetDestination(const QString& path) { dialog_->findChild<QLineEdit*>("destination")->setText(path); }
  void SetFileSize(const QString& mb) { dialog_->findChild<QComboBox*>("file_size")->setCurrentText(mb); }

  QTemporaryDir dir_;
  std::unique_ptr<archive::ArchiveDatabase> db_;
  uint64_t start_ = 0;
  std::unique_ptr<BackupDialog> dialog_;
  std::vector<QString> messages_;
};

TEST_F(BackupDialogTest, OpensOnTheBrowsersViewAndCameras) {
  const uint64_t minute = 60 * archive::kUnitsPerSecond;
  Open(start_ - minute, start_ + 10 * minute, 0b0101);
  EXPECT_EQ(dialog_->From(), db_->Earliest());  // clamped into the archive
  EXPECT_EQ(dialog_->To(), start_ + 10 * minute);
  EXPECT_TRUE(Camera(1)->isEnabled() && Camera(1)->IsChecked());
  EXPECT_TRUE(Camera(2)->isEnabled() && !Camera(2)->IsChecked());
  EXPECT_FALSE(Camera(3)->isEnabled());  // camera 2 has no recordings
  EXPECT_EQ(dialog_->ChosenCameras(), 0b0001u);
  EXPECT_EQ(dialog_->findChild<QComboBox*>("file_size")->currentText(), QStringLiteral("650"));
  EXPECT_TRUE(dialog_->findChild<shell::PictureButton*>("always_ask")->IsChecked());
}

TEST_F(BackupDialogTest, RefusesInTheDialogsOrder) {
  Open(start_ + 1, start_ + 1, 0b1);
  EXPECT_FALSE(dialog_->StartBackup());
  Open(start_, start_ + 600 * archive::kUnitsPerSecond, 0);
  EXPECT_FALSE(dialog_->StartBackup());
  Camera(1)->SetChecked(true);
  SetDestination(QString());
  EXPECT_FALSE(dialog_->StartBackup());
  SetDestination(dir_.filePath("new/dest"));
  SetFileSize(QStringLiteral("0"));
  EXPECT_FALSE(dialog_->StartBackup());
  SetFileSize(QStringLiteral("six"));
  EXPECT_FALSE(dialog_->StartBackup());
  // The folder is made at the first Yes, so the last start does not ask about it again.
  const QString question = "Warning: Directory '" + dir_.filePath("new/dest") +
                           "' does not exist.\r\n Do you want to create it ? ";
  const std::vector<QString> expected = {
      "Error: The time range is empty !",   "Error: There is no cam selected !",
      "Error: There is no destination directory selected !", question,
      "Error: Minimum file size is 1MB !",  "Error: Minimum file size is 1MB !",
  };
  EXPECT_EQ(messages_, expected);
  EXPECT_TRUE(QDir(dir_.filePath("new/dest")).exists());
}

TEST_F(BackupDialogTest, CopiesOnAWorkerAndAsksBeforeEachFile) {
  Open(start_, start_ + 60 * 60 * archive::kUnitsPerSecond, 0b1011);
  const QString dest = dir_.filePath("dest");
  ASSERT_TRUE(QDir().mkpath(dest));
  SetDestination(dest);
  SetFileSize(QStringLiteral("1"));
  QEventLoop loop;
  bool finished = false;
  QObject::connect(dialog_.get(), &BackupDialog::Finished, &loop, [&] {
    finished = true;
    loop.quit();
  });
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  ASSERT_TRUE(dialog_->StartBackup());
  EXPECT_TRUE(dialog_->IsRunning());
  EXPECT_FALSE(dialog_->findChild<shell::PictureButton*>("close")->isEnabled());
  loop.exec();
  ASSERT_TRUE(finished);
  EXPECT_FALSE(dialog_->IsRunning());
  const archive::ArchiveBackup::Result& result = dialog_->LastResult();
  EXPECT_EQ(result.outcome, archive::ArchiveBackup::Outcome::kFinished);
  // The last minute's frames of cameras 1 and 3 are stamped just after "To:".
  EXPECT_EQ(result.records, 61u * 3u - 2u);
  // 181 records of 20 kB do not fit into one file of 1 MiB: every file was asked for.
  ASSERT_GE(result.files.size(), 3u);
  for (size_t i = 0; i < result.files.size(); ++i) {
    EXPECT_EQ(messages_[i], "Backup: Create file '" + QString::fromStdString(result.files[i]) + "' ?");
  }
  EXPECT_EQ(messages_.back(), QStringLiteral("Backup: Backup is finished !"));
  EXPECT_TRUE(dialog_->findChild<shell::PictureButton*>("close")->isEnabled());
}

}  // namespace
}  // namespace strixc::tools
