#include "shell/language.h"
#include "shell/language_choice.h"
#include "shell/string_table.h"
#include "shell/string_ids.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_key.h"

namespace strixc::shell {
namespace {

// The index is process-wide: each case starts from English and leaves it so.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.OpenInMemory();
    SetLanguageIndex(0);
  }
  void TearDown() override {
    SetLanguageIndex(0);
    ApplyLanguage();
  }
  settings::SettingsDatabase db_;
};

TEST_F(LanguageTest, ReadingWithoutAStoredLanguageFailsAndKeepsTheIndex) {
  SetLanguageIndex(3);
  EXPECT_FALSE(ReadLanguage(db_));
  EXPECT_EQ(LanguageIndex(), 3);
}

TEST_F(LanguageTest, WrittenLanguageIsReadBack) {
  SetLanguageIndex(4);
  ASSERT_TRUE(WriteLanguage(db_));
  uint32_t stored = 0;
  ASSERT_TRUE(settings::SettingsKey(db_).ReadDword("Language", &stored));
  EXPECT_EQ(stored, 4u);
  SetLanguageIndex(0);
  ASSERT_TRUE(ReadLanguage(db_));
  EXPECT_EQ(LanguageIndex(), 4);
  EXPECT_EQ(ApplyLanguage().lcid, 12);
  EXPECT_STREQ(AppliedLanguage().name, "fr_FR");
}

TEST_F(LanguageTest, TheTableAndItsFallback) {
  const int lcids[kLanguageCount] = {1033, 1033, 3082, 21, 12};
  const char* names[kLanguageCount] = {"en_US", "en_US", "es_ES", "pl_PL", "fr_FR"};
  for (int i = 0; i < kLanguageCount; ++i) {
    EXPECT_EQ(LocaleOfIndex(i).lcid, lcids[i]) << i;
    EXPECT_STREQ(LocaleOfIndex(i).name, names[i]) << i;
  }
  EXPECT_STREQ(ListText(1), "DEUTCH");
  for (int outside : {-1, kLanguageCount, 1000}) {
    EXPECT_EQ(LocaleOfIndex(outside).lcid, kEnglishLcid) << outside;
    EXPECT_STREQ(ListText(outside), "") << outside;
  }
}

TEST_F(LanguageTest, AStoredIndexOutsideTheTableAppliesEnglish) {
  settings::SettingsKey(db_).WriteDword("Language", 0xFFFFFFFF);
  ASSERT_TRUE(ReadLanguage(db_));
  EXPECT_EQ(ApplyLanguage().lcid, kEnglishLcid);
  EXPECT_STREQ(AppliedLanguage().name, "en_US");
}

class LanguageChoiceTest : public LanguageTest {};

TEST_F(LanguageChoiceTest, FirstStartAsksAndStoresTheChoice) {
  int asked = 0;
  ChooseLanguageAtStart(db_, [&] {
    ++asked;
    return 3;  // POLSKI
  });
  EXPECT_EQ(asked, 1);
  uint32_t stored = 0;
  ASSERT_TRUE(settings::SettingsKey(db_).ReadDword("Language", &stored));
  EXPECT_EQ(stored, 3u);
  EXPECT_EQ(AppliedLanguage().lcid, 21);
  ChooseLanguageAtStart(db_, [&] { return ++asked; });
  EXPECT_EQ(asked, 1) << "a stored language is not asked for again";

  EXPECT_FALSE(StartDialogAccepts(2)) << "ESPANIOL at start";
  EXPECT_TRUE(ProgramDialogAccepts(2)) << "ESPANIOL in the program";
  EXPECT_FALSE(StartDialogAccepts(1));
  EXPECT_FALSE(ProgramDialogAccepts(1));
}

TEST_F(LanguageChoiceTest, UnattendedStartTakesTheSystemsLanguageOrEnglish) {
  EXPECT_EQ(SystemLanguageIndex("pl_PL.UTF-8"), 3);
  EXPECT_EQ(SystemLanguageIndex("fr_CA"), 4);
  EXPECT_EQ(SystemLanguageIndex("es"), 2);
  EXPECT_EQ(SystemLanguageIndex("es_ES@euro"), 2);
  EXPECT_EQ(SystemLanguageIndex("en_GB.UTF-8"), 0);
  EXPECT_EQ(SystemLanguageIndex("de_DE.UTF-8"), 0) << "German has no texts: English";
  EXPECT_EQ(SystemLanguageIndex("C"), 0);
  EXPECT_EQ(SystemLanguageIndex(""), 0);
  EXPECT_EQ(SystemLanguageIndex("pt_PL"), 0) << "the language, not the territory";
}

TEST_F(LanguageChoiceTest, ChangeShowsTheRestartTextInTheNewLanguageAndKeepsTheOld) {
  ApplyLanguage();  // English
  std::string shown;
  EXPECT_TRUE(ChangeLanguage(db_, 4, [&](std::string_view text) { shown = std::string(text); }));
  EXPECT_EQ(shown, TextIn(text::kRestartForLanguage, TextLanguage::kFrench));
  EXPECT_NE(shown, TextIn(text::kRestartForLanguage, TextLanguage::kEnglish));
  EXPECT_EQ(AppliedLanguage().lcid, 1033) << "the running program stays English";
  EXPECT_EQ(LanguageIndex(), 4);
  uint32_t stored = 0;
  ASSERT_TRUE(settings::SettingsKey(db_).ReadDword("Language", &stored));
  EXPECT_EQ(stored, 4u);
  EXPECT_FALSE(ChangeLanguage(db_, 4, [&](std::string_view) { FAIL() << "no change, no message"; }));
}

}  // namespace
}  // namespace strixc::shell
