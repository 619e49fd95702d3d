#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "export/avi_writer.h"
#include "export/dialogs/compression_dialog.h"
#include "export/dialogs/export_dialog.h"
#include "export/dialogs/export_progress_window.h"
#include "export/dialogs/export_settings.h"
#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace strixc::exporting {
namespace {

template <class T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

// Answers the next modal dialog once it is open: `act` sets its controls and closes it.
void WhenModalOpens(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    act(dialog);
  });
}

std::vector<std::string> Listed(CompressionDialog& dialog) {
  std::vector<std::string> names;
  auto* codec = Child<QComboBox>(&dialog, "codec");
  for (int i = 0; i < codec->count(); ++i) names.push_back(codec->itemData(i).toString().toStdString());
  return names;
}

bool Has(const std::vector<std::string>& names, const char* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

class CompressionChoice : public testing::Test {
 protected:
  void SetUp() override { db_.OpenInMemory(); }
  // Runs the chooser for `fileName`, answering with `act`; the options it returns start at `*options`.
  bool Choose(const std::string& fileName, ExportCompression* options, std::function<void(QWidget*)> act) {
    WhenModalOpens(std::move(act));
    return MakeCompressionChooser(db_)(nullptr, fileName, options);
  }
  settings::SettingsDatabase db_;
};

TEST_F(CompressionChoice, ListsOnlyWhatTheBuildHasAndTheContainerCarries) {
  CompressionDialog avi(Container::kAvi, ExportCompression{});
  CompressionDialog mp4(Container::kMp4, ExportCompression{});
  EXPECT_EQ(Listed(avi), ExportCodecs(Container::kAvi));
  EXPECT_TRUE(Has(Listed(avi), "mjpeg"));
  EXPECT_TRUE(Has(Listed(avi), "rawvideo"));
  // MP4 has no place for raw pictures; nothing unknown to this build is ever offered.
  EXPECT_FALSE(Has(Listed(mp4), "rawvideo"));
  EXPECT_TRUE(Has(Listed(mp4), "mpeg4"));
  for (const auto* dialog : {&avi, &mp4})
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("no_encoder")), nullptr);
  // A codec not offered starts the list at the container's default.
  ExportCompression foreign;
  foreign.codec = "rawvideo";
  CompressionDialog fallback(Container::kMp4, foreign);
  EXPECT_EQ(fallback.Options().codec, DefaultExportCodec(Container::kMp4));
}

TEST_F(CompressionChoice, OkRemembersTheChoicePerContainerAndCancelLeavesAllAsItWas) {
  ExportCompression options;
  ASSERT_TRUE(Choose("/tmp/a.AVI", &options, [](QWidget* dialog) {
    auto* codec = Child<QComboBox>(dialog, "codec");
    codec->setCurrentIndex(codec->findData(QStringLiteral("rawvideo")));
    Child<QSlider>(dialog, "quality")->setValue(40);
    Child<QSpinBox>(dialog, "key_frames")->setValue(12);
    Child<QAbstractButton>(dialog, "ok")->click();
  }));
  EXPECT_EQ(options.codec, "rawvideo");
  EXPECT_EQ(options.quality, 40);
  EXPECT_EQ(options.keyFrameInterval, 12);

  // The next AVI export starts where the last one ended; an MP4 one keeps its own encoder.
  ExportCompression seen;
  ExportCompression next;
  EXPECT_TRUE(Choose("b.avi", &next, [&](QWidget* dialog) {
    seen = static_cast<CompressionDialog*>(dialog)->Options();
    Child<QAbstractButton>(dialog, "ok")->click();
  }));
  EXPECT_EQ(seen.codec, "rawvideo");
  EXPECT_EQ(seen.quality, 40);
  EXPECT_EQ(seen.keyFrameInterval, 12);
  ExportCompression mp4;
  EXPECT_TRUE(Choose("c.mp4", &mp4, [](QWidget* dialog) { Child<QAbstractButton>(dialog, "ok")->click(); }));
  EXPECT_EQ(mp4.codec, DefaultExportCodec(Container::kMp4));

  // Cancel: the writer's Open fails, its options and the remembered choice stay.
  ExportCompression untouched;
  untouched.codec = "untouched";
  EXPECT_FALSE(Choose("d.avi", &untouched, [](QWidget* dialog) {
    Child<QSlider>(dialog, "quality")->setValue(99);
    Child<QAbstractButton>(dialog, "cancel")->click();
  }));
  EXPECT_EQ(untouched.codec, "untouched");
  EXPECT_EQ(ExportSettings::Load(db_, Container::kAvi).quality, 40);
  // Escape is a cancel too.
  EXPECT_FALSE(Choose("d.avi", &untouched, [](QWidget* dialog) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog, &escape);
  }));
}

// The writer asks the dialog in Open: a cancelled choice makes Open fail and leaves no file; a
// confirmed one opens the file with the chosen encoder.
TEST_F(CompressionChoice, TheWritersOpenFailsWhenTheDialogIsCancelled) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "strixc_export_dialogs_test.avi";
  std::filesystem::remove(file);
  {
    AviWriter writer(0, 1, 2, file.string(), MakeCompressionChooser(db_));
    WhenModalOpens([](QWidget* dialog) { Child<QAbstractButton>(dialog, "cancel")->click(); });
    EXPECT_FALSE(writer.Open(nullptr, 15));
  }
  EXPECT_FALSE(std::filesystem::exists(file));
  {
    AviWriter writer(0, 1, 2, file.string(), MakeCompressionChooser(db_));
    WhenModalOpens([](QWidget* dialog) {
      auto* codec = Child<QComboBox>(dialog, "codec");
      codec->setCurrentIndex(codec->findData(QStringLiteral("mpeg4")));
      Child<QAbstractButton>(dialog, "ok")->click();
    });
    EXPECT_TRUE(writer.Open(nullptr, 15));
    EXPECT_EQ(writer.Compression().codec, "mpeg4");
  }
  std::filesystem::remove(file);
}

TEST_F(CompressionChoice, HandEditedValuesAreKeptInRange) {
  settings::SettingsKey key(db_, ExportSettings::kKeyName);
  key.WriteDword("Quality", 0xFFFFFFFFu);
  key.WriteDword("KeyFrameInterval", 100000);
  key.WriteString("Codec.avi", std::string(200, 'x'));
  const ExportCompression loaded = ExportSettings::Load(db_, Container::kAvi);
  EXPECT_EQ(loaded.quality, ExportSettings::kMaxQuality);
  EXPECT_EQ(loaded.keyFrameInterval, ExportSettings::kMaxKeyFrameInterval);
  EXPECT_EQ(loaded.codec, "");
}

TEST(ExportDialogTest, RefusesAnEmptyFileNameAndRemembersTheAcceptedOne) {
  ExportDialog::SetLastFileName(QString());
  ExportDialog dialog(2, QStringLiteral("Gate"), 1, 2);
  EXPECT_EQ(Child<QLineEdit>(&dialog, "camera")->text(), QStringLiteral("C3 Gate"));
  EXPECT_EQ(dialog.FramesPerSecond(), 10);
  auto* name = Child<QLineEdit>(&dialog, "file_name");
  auto* error = Child<QLabel>(&dialog, "file_name_error");
  dialog.show();
  name->setText(QStringLiteral("   "));
  Child<QAbstractButton>(&dialog, "ok")->click();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(error->isVisible());
  EXPECT_TRUE(ExportDialog::LastFileName().isEmpty());

  // A name without an extension gets the AVI one, as the save dialog would give it.
  name->setText(QStringLiteral(" /tmp/clip "));
  Child<QComboBox>(&dialog, "frame_rate")->setCurrentIndex(5);
  Child<QAbstractButton>(&dialog, "ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.FileName(), "/tmp/clip.avi");
  EXPECT_EQ(dialog.FramesPerSecond(), 30);
  ExportDialog next(0, QString(), 1, 2);
  EXPECT_EQ(Child<QLineEdit>(&next, "file_name")->text(), QStringLiteral("/tmp/clip.avi"));
  EXPECT_EQ(ExportDialog::RateOfItem(-1), 15);
  EXPECT_EQ(ExportDialog::RateOfItem(6), 15);
}

TEST(ExportProgressWindowTest, CancelEscapeAndCloseAllAskToCancelAndNoneHidesIt) {
  int cancels = 0;
  ExportProgressWindow window([&] { ++cancels; });
  window.SetPercent(140);
  EXPECT_EQ(window.Percent(), 100);
  window.show();
  Child<QAbstractButton>(&window, "cancel")->click();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&window, &escape);
  window.close();
  EXPECT_EQ(cancels, 3);
  EXPECT_TRUE(window.isVisible());
}

}  // namespace
}  // namespace strixc::exporting
