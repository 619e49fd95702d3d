#include "settings/settings_key.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <string>

namespace strixc::settings {
namespace {

// A fresh folder per test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/strixc-settings-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  ::stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

class SettingsKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { db_.OpenInMemory(); }
  SettingsDatabase db_;
};

// --- Typed reads -------------------------------------------------------------------------------

TEST_F(SettingsKeyTest, DwordReadsAtMostFourBytesAndKeepsTheValueWhenMissing) {
  SettingsKey key(db_, "ClientSettings");
  uint32_t value = 77;
  EXPECT_FALSE(key.ReadDword("KeyQuality", &value));
  EXPECT_EQ(value, 77u);
  key.WriteDword("KeyQuality", 0x01020304);
  ASSERT_TRUE(key.ReadDword("KeyQuality", &value));
  EXPECT_EQ(value, 0x01020304u);

  // The kind is not checked: two bytes replace the low bytes only, as a raw 4-byte read would.
  const uint8_t two[2] = {0xAA, 0xBB};
  key.WriteBinary("Odd", two, 2);
  value = 0x11223344;
  ASSERT_TRUE(key.ReadDword("Odd", &value));
  EXPECT_EQ(value, 0x1122BBAAu);
  const uint8_t five[5] = {1, 2, 3, 4, 5};
  key.WriteBinary("Long", five, 5);
  EXPECT_FALSE(key.ReadDword("Long", &value));
  EXPECT_EQ(value, 0x1122BBAAu);
}

TEST_F(SettingsKeyTest, StringsUpTo500BytesOfStringKindOnly) {
  SettingsKey key(db_, "ClientSettings");
  std::string value = "default";
  key.WriteString("DefaultDir", std::string(499, 'x'));  // 499 characters + terminator = 500 bytes
  ASSERT_TRUE(key.ReadString("DefaultDir", &value));
  EXPECT_EQ(value.size(), 499u);
  key.WriteString("DefaultDir", std::string(600, 'y'));
  value = "default";
  EXPECT_FALSE(key.ReadString("DefaultDir", &value));
  EXPECT_EQ(value, "default");
  key.WriteBinary("DefaultDir", "abc", 4);
  EXPECT_FALSE(key.ReadString("DefaultDir", &value)) << "a binary block is no string";
  key.WriteString("Empty", "");
  ASSERT_TRUE(key.ReadString("Empty", &value));
  EXPECT_EQ(value, "");
}

TEST_F(SettingsKeyTest, BinaryReadsOnlyTheExactSize) {
  SettingsKey key(db_, "MainDisplay");
  const uint8_t seven[7] = {1, 2, 3, 4, 5, 6, 7};
  key.WriteBinary("Block", seven, 7);
  uint8_t buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_FALSE(key.ReadBinary("Block", buffer, 8));
  for (uint8_t b : buffer) EXPECT_EQ(b, 9);
  ASSERT_TRUE(key.ReadBinary("Block", buffer, 7));
  EXPECT_EQ(buffer[6], 7);
  std::vector<uint8_t> block;
  EXPECT_FALSE(key.ReadBinary("Block", 6, &block));
  ASSERT_TRUE(key.ReadBinary("Block", 4096, &block));
  EXPECT_EQ(block.size(), 7u);
}

// --- Keys ---------------------------------------------------------------------------------------

TEST_F(SettingsKeyTest, ClearRemovesSubKeysAndValuesButNothingBeside) {
  SettingsKey arch(db_, "ArchDatabase");
  arch.WriteDword("Count", 2);
  SettingsKey(db_, "ArchDatabase\\Locations\\Location000").WriteString("Path", "/srv/a");
  SettingsKey(db_, "ArchDatabase\\Bookmarks").WriteString("100", "gate");
  // Neighbours whose names start the same, or hold LIKE wildcards, must survive.
  SettingsKey(db_, "ArchDatabase2").WriteDword("Keep", 1);
  SettingsKey(db_, "Arch%").WriteDword("Keep", 1);

  ASSERT_TRUE(arch.Clear());
  uint32_t v = 0;
  EXPECT_FALSE(arch.ReadDword("Count", &v));
  EXPECT_FALSE(SettingsKey(db_, "ArchDatabase\\Bookmarks").EnumValue(0, nullptr));
  EXPECT_TRUE(SettingsKey(db_, "ArchDatabase2").ReadDword("Keep", &v));
  EXPECT_TRUE(SettingsKey(db_, "Arch%").ReadDword("Keep", &v));

  const Tree tree = db_.Export();
  for (const std::string& k : tree.keys) EXPECT_EQ(k.find("Location000"), std::string::npos) << k;
}

TEST_F(SettingsKeyTest, NamesIgnoreCaseAndValuesEnumerateInWritingOrder) {
  SettingsKey(db_, "MainDisplay").WriteDword("Sharpen", 1);
  uint32_t v = 0;
  EXPECT_TRUE(SettingsKey(db_, "maindisplay").ReadDword("SHARPEN", &v));
  EXPECT_EQ(v, 1u);

  SettingsKey key(db_, "ArchDatabase\\Bookmarks");
  for (const char* name : {"300", "100", "200"}) key.WriteString(name, "t");
  key.WriteString("100", "again");  // rewriting keeps the place
  std::string name;
  std::vector<std::string> names;
  for (int i = 0; key.EnumValue(i, &name); ++i) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"300", "100", "200"}));
  EXPECT_TRUE(key.DeleteValue("100"));
  EXPECT_FALSE(key.DeleteValue("100"));
}

// --- The file -----------------------------------------------------------------------------------

TEST(SettingsFileTest, FirstStartCreatesAPrivateFileAndFolder) {
  TempFolder temp;
  const std::string folder = temp.Path() + "/new/profile";
  const std::string path = SettingsDatabase::DefaultPath(folder);
  {
    SettingsDatabase db;
    db.Open(path);
    EXPECT_TRUE(db.Notice().empty()) << db.Notice();
    SettingsKey(db, "ClientSettings").WriteDword("KeyQuality", 40);
  }
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(ModeOf(folder), 0700u);
  SettingsDatabase again;
  again.Open(path);
  uint32_t v = 0;
  EXPECT_TRUE(SettingsKey(again, "ClientSettings").ReadDword("KeyQuality", &v));
  EXPECT_EQ(v, 40u);
}

TEST(SettingsFileTest, DamagedFileIsMovedAsideNeverOverwritten) {
  TempFolder temp;
  const std::string path = temp.Path() + "/settings.sqlite";
  {
    std::ofstream garbage(path);
    garbage << std::string(5000, 'Z');
  }
  SettingsDatabase db;
  db.Open(path);
  EXPECT_NE(db.Notice().find("moved to"), std::string::npos) << db.Notice();
  EXPECT_EQ(db.Problem(), SettingsDatabase::OpenProblem::kMovedAside);
  EXPECT_EQ(db.AsidePath().rfind(path + ".damaged-", 0), 0u) << db.AsidePath();
  uint32_t v = 5;
  EXPECT_FALSE(SettingsKey(db, "ClientSettings").ReadDword("KeyQuality", &v)) << "defaults";
  EXPECT_TRUE(SettingsKey(db, "ClientSettings").WriteDword("KeyQuality", 30));

  int aside = 0;
  for (const auto& name : {std::string("ls '") + temp.Path() + "' | grep -c damaged"}) {
    FILE* pipe = ::popen(name.c_str(), "r");
    fscanf(pipe, "%d", &aside);
    ::pclose(pipe);
  }
  EXPECT_EQ(aside, 1);
}

TEST(SettingsFileTest, TwoProgramsOnOneFileBothSave) {
  TempFolder temp;
  const std::string path = temp.Path() + "/settings.sqlite";
  SettingsDatabase first, second;
  first.Open(path);
  second.Open(path);
  // The second program saves while the first is in the middle of its own save: it waits for the
  // first to finish instead of failing.
  std::thread other;
  bool secondSaved = false;
  ASSERT_TRUE(first.Transaction([&] {
    SettingsKey(first, "A").WriteDword("V", 1);
    other = std::thread([&] { secondSaved = second.Transaction([&] { return SettingsKey(second, "B").WriteDword("V", 2); }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return true;
  }));
  other.join();
  EXPECT_TRUE(secondSaved);
  uint32_t v = 0;
  EXPECT_TRUE(SettingsKey(first, "B").ReadDword("V", &v));
  EXPECT_EQ(v, 2u);
  EXPECT_TRUE(SettingsKey(second, "A").ReadDword("V", &v));
  EXPECT_EQ(v, 1u);
}

// A save is "clear the key, write every value" in one transaction. A child process saves in a loop
// and is killed at a random moment; the key must then hold one complete save, old or new.
TEST(SettingsFileTest, SaveKilledHalfWayLeavesTheOldOrTheNewValues) {
  TempFolder temp;
  const std::string path = temp.Path() + "/settings.sqlite";
  constexpr int kValues = 40;
  for (int round = 0; round < 5; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SettingsDatabase db;
      db.Open(path);
      for (uint32_t generation = 1;; ++generation) {
        db.Transaction([&] {
          SettingsKey key(db, "ClientSettings");
          key.Clear();
          for (int i = 0; i < kValues; ++i) key.WriteDword("V" + std::to_string(i), generation);
          return true;
        });
      }
    }
    ::usleep(static_cast<useconds_t>(30000 + round * 17000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    SettingsDatabase db;
    db.Open(path);
    ASSERT_TRUE(db.Notice().empty()) << db.Notice();
    SettingsKey key(db, "ClientSettings");
    uint32_t first = 0;
    const bool any = key.ReadDword("V0", &first);
    int count = 0;
    std::string name;
    while (key.EnumValue(count, &name)) ++count;
    if (!any) {
      EXPECT_EQ(count, 0) << "round " << round;
      continue;
    }
    EXPECT_EQ(count, kValues) << "round " << round;
    for (int i = 0; i < kValues; ++i) {
      uint32_t v = 0;
      ASSERT_TRUE(key.ReadDword("V" + std::to_string(i), &v));
      EXPECT_EQ(v, first) << "round " << round << " value " << i;
    }
  }
}

}  // namespace
}  // namespace strixc::settings
