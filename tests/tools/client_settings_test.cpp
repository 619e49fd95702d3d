#include "tools/client_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "settings/settings_key.h"
#include "shell/language.h"
#include "tools/data_folder.h"

namespace strixc::tools {
namespace {

using settings::SettingsKey;

class ClientSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { db_.OpenInMemory(); }

  SettingsKey Stored() { return SettingsKey(db_, "ClientSettings"); }
  std::vector<std::string> StoredNames() {
    std::vector<std::string> names;
    std::string name;
    SettingsKey key = Stored();
    for (int i = 0; key.EnumValue(i, &name); ++i) names.push_back(name);
    return names;
  }

  settings::SettingsDatabase db_;
  ClientSettings settings_{"/data"};
};

TEST_F(ClientSettingsTest, FirstStartHasTheDefaults) {
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetKeyQuality(), 25u);
  EXPECT_EQ(settings_.GetDeltaQuality(), 25u);
  EXPECT_EQ(settings_.GetDefaultDir(), "/data/DevazUzerFiles");
  EXPECT_TRUE(settings_.GetArchCreateQuestion());
  EXPECT_TRUE(settings_.GetReconnect());
  EXPECT_EQ(settings_.GetStaleSeconds(), 3u);
}

TEST_F(ClientSettingsTest, SaveAndLoadRoundTrip) {
  settings_.SetKeyQuality(80);
  settings_.SetDeltaQuality(40);
  settings_.SetDefaultDir("/srv/video/caméras");
  settings_.SetArchCreateQuestion(false);
  settings_.SetReconnect(false);
  settings_.SetStaleSeconds(12);
  ASSERT_TRUE(settings_.Save(db_));
  ClientSettings loaded("/elsewhere");
  loaded.Load(db_);
  EXPECT_FALSE(loaded.GetReconnect());
  EXPECT_EQ(loaded.GetStaleSeconds(), 12u);
  EXPECT_EQ(loaded.GetKeyQuality(), 80u);
  EXPECT_EQ(loaded.GetDeltaQuality(), 40u);
  EXPECT_EQ(loaded.GetDefaultDir(), "/srv/video/caméras");
  EXPECT_FALSE(loaded.GetArchCreateQuestion());
}

TEST_F(ClientSettingsTest, StaleLimitStaysWithinOneToSixtySeconds) {
  Stored().WriteDword("StalePictureSeconds", 0);
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetStaleSeconds(), 1u);
  Stored().WriteDword("StalePictureSeconds", 0xFFFFFFFF);
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetStaleSeconds(), 60u);
  settings_.SetStaleSeconds(61);
  EXPECT_EQ(settings_.GetStaleSeconds(), 60u);
}

TEST_F(ClientSettingsTest, SavingDropsWhateverElseTheKeyHeld) {
  Stored().WriteDword("Leftover", 7);
  SettingsKey(db_, "ClientSettings\\Old").WriteDword("Deeper", 1);
  ASSERT_TRUE(settings_.Save(db_));
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"KeyQuality", "DeltaQuality", "DefaultDir", "ArchCreateQuestion",
                                                     "ReconnectAutomatically", "StalePictureSeconds"}));
  uint32_t deeper = 0;
  EXPECT_FALSE(SettingsKey(db_, "ClientSettings\\Old").ReadDword("Deeper", &deeper));
}

TEST_F(ClientSettingsTest, ServerEncodingFollowsTheLanguageUntilChosen) {
  const int language = shell::LanguageIndex();
  shell::SetLanguageIndex(3);  // POLSKI
  EXPECT_EQ(settings_.GetServerEncoding(), "Windows-1250");
  EXPECT_EQ(settings_.ServerTextCodec().Encode("\xC5\x9B"), "\x9C") << "ś";
  shell::SetLanguageIndex(4);  // FRANCAIS
  EXPECT_EQ(settings_.GetServerEncoding(), "Windows-1252");

  settings_.SetServerEncoding("ISO-8859-2");
  ASSERT_TRUE(settings_.Save(db_));
  shell::SetLanguageIndex(3);
  ClientSettings loaded("/data");
  loaded.Load(db_);
  EXPECT_EQ(loaded.GetServerEncoding(), "ISO-8859-2");
  EXPECT_EQ(loaded.ServerTextCodec().Encode("\xC5\x9B"), "\xB6");
  shell::SetLanguageIndex(language);
}

// --- What Load does not take --------------------------------------------------------------------

TEST_F(ClientSettingsTest, AnEncodingTheSystemCannotUseIsNotRead) {
  for (const char* stored : {"UTF-8", "no-such-page"}) {
    Stored().WriteString("ServerTextEncoding", stored);
    settings_.Load(db_);
    EXPECT_EQ(settings_.GetServerEncoding(), ClientSettings::DefaultServerEncoding(shell::LanguageIndex())) << stored;
  }
}

TEST_F(ClientSettingsTest, TooLongAFolderIsNotRead) {
  Stored().WriteString("DefaultDir", "/" + std::string(599, 'd'));
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetDefaultDir(), "/data/DevazUzerFiles");
  const std::string longest = "/" + std::string(SettingsKey::kMaxStringBytes - 2, 'd');
  Stored().WriteString("DefaultDir", longest);
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetDefaultDir(), longest) << "499 bytes and the zero still fit";
}

TEST_F(ClientSettingsTest, AFolderStoredAsBinaryIsNotRead) {
  const char dir[] = "/mnt/archive";
  Stored().WriteBinary("DefaultDir", dir, sizeof dir);
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetDefaultDir(), "/data/DevazUzerFiles");
}

TEST_F(ClientSettingsTest, NumbersAreReadAsRawBytesWhateverTheirKind) {
  settings_.SetKeyQuality(0x12345678);
  const uint8_t two[2] = {0x50, 0x00};
  Stored().WriteBinary("KeyQuality", two, sizeof two);
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetKeyQuality(), 0x12340050u) << "only the low two bytes are replaced";

  const uint8_t five[5] = {1, 2, 3, 4, 5};
  Stored().WriteBinary("DeltaQuality", five, sizeof five);
  Stored().WriteString("ArchCreateQuestion", "");  // one zero byte
  settings_.Load(db_);
  EXPECT_EQ(settings_.GetDeltaQuality(), 25u) << "more than four bytes: not read";
  EXPECT_FALSE(settings_.GetArchCreateQuestion()) << "the string's zero byte replaces the low byte";
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) old_ = old;
    had_ = old != nullptr;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (had_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(DataFolderTest, ProfileThenXdgThenHome) {
  EXPECT_EQ(DataFolder("/profiles/a"), "/profiles/a");
  ScopedEnv home("HOME", "/home/op");
  {
    ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(DataFolder(), "/xdg/strixc");
  }
  ScopedEnv relative("XDG_DATA_HOME", "relative");
  EXPECT_EQ(DataFolder(), "/home/op/.local/share/strixc") << "a relative XDG_DATA_HOME is ignored";
}

}  // namespace
}  // namespace strixc::tools
