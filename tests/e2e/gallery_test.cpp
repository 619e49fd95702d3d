// strixc --gallery as a reviewer runs it: every dialog and control, in every language, as PNG files.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

TEST(GalleryTest, RendersEachPageInFourLanguages) {
  QTemporaryDir dir;
  QProcess strixc;
  strixc.start(QStringLiteral(STRIXC), {"--gallery", dir.path()});
  ASSERT_TRUE(strixc.waitForFinished(60000));
  ASSERT_EQ(strixc.exitCode(), 0) << strixc.readAllStandardError().toStdString();

  const QStringList files = QDir(dir.path()).entryList({"*.png"}, QDir::Files, QDir::Name);
  ASSERT_FALSE(files.isEmpty());
  EXPECT_EQ(files.size() % 4, 0);
  for (const char* language : {"_en.png", "_fr.png", "_pl.png", "_es.png"}) {
    EXPECT_EQ(files.filter(language).size(), files.size() / 4) << language;
  }
  for (const QString& file : files) {
    const QImage picture(QDir(dir.path()).filePath(file));
    ASSERT_FALSE(picture.isNull()) << file.toStdString();
    // The dark theme: the dialog's background colour is in every picture.
    EXPECT_EQ(picture.pixel(picture.width() / 2, picture.height() - 3) & 0xFFFFFF, 0x4A4F55u) << file.toStdString();
  }
}

}  // namespace
