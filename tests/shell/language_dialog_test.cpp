#include "shell/language_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStringList>

#include "settings/settings_key.h"
#include "shell/language.h"
#include "shell/string_ids.h"
#include "shell/string_table.h"

namespace strixc::shell {
namespace {

QString English(int id) {
  const std::string_view t = TextIn(id, TextLanguage::kEnglish);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

class LanguageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.OpenInMemory();
    SetLanguageIndex(0);
    ApplyLanguage();
  }
  void TearDown() override {
    SetLanguageIndex(0);
    ApplyLanguage();
  }
  LanguageDialog::Notifier Record() {
    return [this](const QString& text) { shown_ << text; };
  }
  settings::SettingsDatabase db_;
  QStringList shown_;
};

TEST_F(LanguageDialogTest, StartDialogRefusesLanguagesWithoutTexts) {
  LanguageDialog dialog(LanguageDialog::Kind::kStart);
  dialog.SetNotifier(Record());
  EXPECT_EQ(dialog.Selection(), 0);
  dialog.Pick(2);  // ESPANIOL
  EXPECT_EQ(shown_, QStringList{English(text::kLanguageNotAdded)});
  EXPECT_EQ(dialog.Selection(), 0) << "ENGLISH again";
  dialog.Pick(3);  // POLSKI
  EXPECT_EQ(dialog.Selection(), 3);
  EXPECT_EQ(shown_.size(), 1);
}

TEST_F(LanguageDialogTest, ProgramDialogTakesSpanishAndShowsTheRestartTextInIt) {
  SetLanguageIndex(0);
  LanguageDialog dialog(LanguageDialog::Kind::kProgram);
  dialog.SetNotifier(Record());
  dialog.Pick(1);  // DEUTCH
  EXPECT_EQ(dialog.Selection(), 0);
  dialog.Pick(2);
  EXPECT_EQ(dialog.Selection(), 2);
  shown_.clear();
  dialog.AcceptInto(db_);
  ASSERT_EQ(shown_.size(), 1);
  const std::string_view spanish = TextIn(text::kRestartForLanguage, TextLanguage::kSpanish);
  EXPECT_EQ(shown_[0], QString::fromUtf8(spanish.data(), static_cast<qsizetype>(spanish.size())));
  EXPECT_EQ(AppliedLanguage().lcid, 1033);
  uint32_t stored = 0;
  ASSERT_TRUE(settings::SettingsKey(db_).ReadDword("Language", &stored));
  EXPECT_EQ(stored, 2u);
}

TEST_F(LanguageDialogTest, ClickedRefusedLanguageLeavesEnglishSelectedAndOkCannotTakeIt) {
  LanguageDialog dialog(LanguageDialog::Kind::kProgram);
  dialog.SetNotifier(Record());
  dialog.show();
  auto* list = dialog.findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  const QPointF deutch = list->visualItemRect(list->item(1)).center();
  QMouseEvent press(QEvent::MouseButtonPress, deutch, list->viewport()->mapToGlobal(deutch), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, deutch, list->viewport()->mapToGlobal(deutch),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &press);
  QApplication::sendEvent(list->viewport(), &release);
  QApplication::processEvents();
  EXPECT_EQ(shown_, QStringList{English(text::kLanguageNotAdded)});
  ASSERT_EQ(list->selectedItems().size(), 1);
  EXPECT_EQ(list->selectedItems().first(), list->item(0)) << "ENGLISH shows selected again";
  EXPECT_EQ(dialog.Selection(), 0);

  // Even a refused row that got current without the refusal is not what OK takes.
  {
    const QSignalBlocker quiet(list);
    list->setCurrentRow(1);
  }
  dialog.accept();
  EXPECT_TRUE(dialog.isVisible()) << "OK keeps the dialog open on DEUTCH";
  EXPECT_EQ(list->currentRow(), 0);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Selection(), 0);
}

}  // namespace
}  // namespace strixc::shell
