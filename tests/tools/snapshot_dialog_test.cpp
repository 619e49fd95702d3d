#include "tools/snapshot_dialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/string_table.h"
#include "video/jpeg_codec.h"
#include "video/picture.h"

namespace strixc::tools {
namespace {

// The preview of a sample picture, shown, with a fake file-name question and the messages kept.
class SnapshotDialogTest : public ::testing::Test {
 protected:
  void Open(int width, int height) {
    dialog_ = std::make_unique<SnapshotDialog>(SampleSnapshotBitmap(width, height));
    dialog_->SetFileNameAsker([this](QWidget*, const QString& proposed) {
      ++questions_;
      proposed_ = proposed;
      return answer_;
    });
    dialog_->SetNotifier([this](const QString& text) { messages_.push_back(text); });
    dialog_->show();
    QApplication::processEvents();
  }
  void PressSave() {
    auto* button = dialog_->findChild<shell::PictureButton*>("save");
    ASSERT_NE(button, nullptr);
    const QPointF centre = QRectF(button->rect()).center();
    const QPointF global = button->mapToGlobal(centre);
    QMouseEvent down(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(button, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &up);
  }
  QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
  std::unique_ptr<SnapshotDialog> dialog_;
  QString answer_;
  QString proposed_;
  int questions_ = 0;
  std::vector<QString> messages_;
};

// ---------------------------------------------------------------------------------------------
// Saving

TEST_F(SnapshotDialogTest, SaveWritesAFourByThreeJpegAndStaysOpen) {
  Open(200, 100);
  EXPECT_EQ(dialog_->Caption(), "Save frame to a file");
  answer_ = dir_.filePath("frame.jpg");
  PressSave();
  EXPECT_EQ(questions_, 1);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(dialog_->isVisible());

  const QByteArray jpeg = ReadFile(answer_);
  ASSERT_GE(jpeg.size(), 2);
  EXPECT_EQ(static_cast<uint8_t>(jpeg[0]), 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(jpeg[1]), 0xD8);
  video::JpegCodec codec;
  int width = 0;
  int height = 0;
  ASSERT_EQ(codec.ReadParameters(reinterpret_cast<const uint8_t*>(jpeg.constData()),
                                 static_cast<size_t>(jpeg.size()), &width, &height), 0);
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 150);
}

TEST_F(SnapshotDialogTest, SaveProposesTheCameraAndTimeAndAddsTheJpegExtension) {
  Open(80, 60);
  dialog_->SetProposedName(dir_.filePath("C3_Gate_2026-12-07_05-10-31.jpg"));
  answer_ = dir_.filePath("typed without extension");
  PressSave();
  EXPECT_EQ(proposed_, dir_.filePath("C3_Gate_2026-12-07_05-10-31.jpg"));
  EXPECT_TRUE(QFile::exists(answer_ + ".jpg"));
  EXPECT_FALSE(QFile::exists(answer_));
  answer_ = dir_.filePath("kept.JPEG");
  PressSave();
  EXPECT_TRUE(QFile::exists(answer_));

  const QDateTime time(QDate(2026, 12, 7), QTime(5, 10, 31));
  EXPECT_EQ(SnapshotFileName(2, "Gate", time), "C3_Gate_2026-12-07_05-10-31.jpg");
  EXPECT_EQ(SnapshotFileName(0, " Back door/ext:1 ", time), "C1_Back_door_ext_1_2026-12-07_05-10-31.jpg");
  EXPECT_EQ(SnapshotFileName(15, "", time), "C16_2026-12-07_05-10-31.jpg");
}

// ---------------------------------------------------------------------------------------------
// Failures

TEST_F(SnapshotDialogTest, UncreatableFileTellsTheOperatorAndStaysOpen) {
  Open(80, 60);
  answer_ = dir_.filePath("missing/folder/frame.jpg");
  PressSave();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Can't create file !");
  EXPECT_FALSE(QFile::exists(answer_));
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(SnapshotDialogTest, NoFileNameWritesNothingAndSaysNothing) {
  Open(80, 60);
  EXPECT_FALSE(dialog_->SaveToFile());
  EXPECT_EQ(questions_, 1);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(QDir(dir_.path()).isEmpty());
}

// ---------------------------------------------------------------------------------------------
// The picture shown

TEST(BitmapToImageTest, RowsComeOutTopFirstInTheirColours) {
  // 3 x 2: the bitmap stores the bottom row first.
  const video::BitmapInfoHeader header = video::MakeHeader(3, 2);
  const int stride = video::PictureStride(3);
  std::vector<uint8_t> dib(sizeof header + 2 * stride, 0);
  std::memcpy(dib.data(), &header, sizeof header);
  uint8_t* bottom = dib.data() + sizeof header;
  uint8_t* top = bottom + stride;
  top[0] = 255;  // top-left blue
  bottom[3 * 2 + 2] = 255;  // bottom-right red

  const QImage image = BitmapToImage(dib.data(), dib.size());
  ASSERT_EQ(image.size(), QSize(3, 2));
  EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(2, 1), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(1, 0), QColor(0, 0, 0));
}

TEST(BitmapToImageTest, RefusesWhatIsNoBitmap) {
  std::vector<uint8_t> dib = SampleSnapshotBitmap(16, 8);
  EXPECT_FALSE(BitmapToImage(dib.data(), dib.size()).isNull());
  EXPECT_TRUE(BitmapToImage(dib.data(), dib.size() - 1).isNull());  // last row cut short
  EXPECT_TRUE(BitmapToImage(dib.data(), 39).isNull());
  EXPECT_TRUE(BitmapToImage(nullptr, 0).isNull());
  dib[14] = 32;  // biBitCount
  EXPECT_TRUE(BitmapToImage(dib.data(), dib.size()).isNull());
}

}  // namespace
}  // namespace strixc::tools
