#include "archive/bookmark_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "settings/settings_key.h"

namespace strixc::archive {
namespace {

using settings::SettingsKey;

constexpr char kKey[] = "ArchDatabase\\Bookmarks";

class BookmarkStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.OpenInMemory();
    store_.Load(db_, kKey);
  }

  // The stored title of `time`, or "<none>" when there is no value.
  std::string StoredTitle(int64_t time) {
    std::string title = "<none>";
    SettingsKey(db_, kKey).ReadString(std::to_string(time), &title);
    return title;
  }
  std::vector<int64_t> InRange(int64_t t1, int64_t t2, int columns) {
    std::vector<int64_t> out = {-42};
    store_.InRange(t1, t2, columns, &out);
    return out;
  }
  void Reload() { store_.Load(db_, kKey); }

  settings::SettingsDatabase db_;
  BookmarkStore store_;
};

// --- Adding and removing -----------------------------------------------------------------------

TEST_F(BookmarkStoreTest, AddingAtAnExistingTimeReplacesTheTitle) {
  store_.Add(500, "gate opened");
  store_.Add(500, "gate closed");
  EXPECT_EQ(store_.Count(), 1u);
  EXPECT_EQ(store_.GetTitle(500), "gate closed");
  EXPECT_EQ(StoredTitle(500), "gate closed");
}

TEST_F(BookmarkStoreTest, TimesAtOrBelowZeroAreIgnored) {
  store_.Add(0, "zero");
  store_.Add(-5, "negative");
  EXPECT_EQ(store_.Count(), 0u);
  EXPECT_EQ(StoredTitle(0), "<none>");
  EXPECT_EQ(StoredTitle(-5), "<none>");
}

TEST_F(BookmarkStoreTest, RemoveDeletesTheValue) {
  store_.Add(7, "a");
  EXPECT_FALSE(store_.Remove(8));
  EXPECT_TRUE(store_.Remove(7));
  EXPECT_FALSE(store_.Remove(7));
  EXPECT_EQ(StoredTitle(7), "<none>");
  EXPECT_EQ(store_.GetTitle(7), "");
}

TEST_F(BookmarkStoreTest, TheBookmarkPastTheLimitDropsTheOldest) {
  for (int64_t t = 1; t <= static_cast<int64_t>(BookmarkStore::kMaxBookmarks); ++t) store_.Add(t * 10, "b");
  EXPECT_EQ(store_.Count(), BookmarkStore::kMaxBookmarks);
  store_.Add(5, "older than all");  // becomes the oldest and goes at once
  EXPECT_EQ(store_.Count(), BookmarkStore::kMaxBookmarks);
  EXPECT_EQ(StoredTitle(5), "<none>");
  store_.Add(1'000'000, "newest");
  EXPECT_EQ(store_.Count(), BookmarkStore::kMaxBookmarks);
  EXPECT_EQ(store_.Next(0), 20) << "the oldest, 10, is gone";
  EXPECT_EQ(StoredTitle(10), "<none>");
  EXPECT_EQ(StoredTitle(20), "b");
  EXPECT_EQ(store_.Previous(INT64_MAX), 1'000'000);

  BookmarkStore again;
  again.Load(db_, kKey);
  EXPECT_EQ(again.Count(), BookmarkStore::kMaxBookmarks);
  EXPECT_EQ(again.Next(0), 20);
}

TEST_F(BookmarkStoreTest, BookmarksBeforeTheMinimumGoOnePerAdd) {
  for (int64_t t : {10, 20, 30, 40}) store_.Add(t, "b");
  store_.SetMinimumTime(35);
  store_.Add(50, "new");
  EXPECT_EQ(store_.Next(0), 20);
  store_.Add(60, "new");
  EXPECT_EQ(store_.Next(0), 30);
  EXPECT_EQ(StoredTitle(10), "<none>");
  EXPECT_EQ(StoredTitle(20), "<none>");
  EXPECT_EQ(StoredTitle(30), "b");
}

TEST_F(BookmarkStoreTest, LongTitlesAreCutToWhatCanBeReadBack) {
  const std::string title = std::string(498, 'x') + "\xC3\xA9" + "tail";  // é straddles byte 499
  store_.Add(9, title);
  EXPECT_EQ(store_.GetTitle(9), std::string(498, 'x'));
}

// --- Finding -----------------------------------------------------------------------------------

TEST_F(BookmarkStoreTest, NextAndPrevious) {
  for (int64_t t : {100, 200, 300}) store_.Add(t, "b");
  EXPECT_EQ(store_.Next(100), 200) << "a bookmark itself is skipped";
  EXPECT_EQ(store_.Next(150), 200);
  EXPECT_EQ(store_.Next(50), 100);
  EXPECT_EQ(store_.Next(300), 0);
  EXPECT_EQ(store_.Next(301), 0);
  EXPECT_EQ(store_.Previous(100), 0) << "nothing before the first";
  EXPECT_EQ(store_.Previous(50), 0);
  EXPECT_EQ(store_.Previous(200), 100);
  EXPECT_EQ(store_.Previous(250), 200);
  EXPECT_EQ(store_.Previous(INT64_MAX), 300);
  EXPECT_EQ(BookmarkStore().Next(5), 0);
  EXPECT_EQ(BookmarkStore().Previous(5), 0);
}

TEST_F(BookmarkStoreTest, InRangeGivesTheFirstOfEachColumn) {
  for (int64_t t = 1000; t < 1100; ++t) store_.Add(t, "b");
  EXPECT_EQ(InRange(1000, 2000, 1), std::vector<int64_t>{1000});
  EXPECT_EQ(InRange(1000, 1100, 4), (std::vector<int64_t>{1000, 1025, 1050, 1075}));
  EXPECT_EQ(InRange(1050, 1052, 100), (std::vector<int64_t>{1050, 1051})) << "t2 is outside";
  EXPECT_EQ(InRange(1000, 1000, 10), std::vector<int64_t>{});
  EXPECT_EQ(InRange(2000, 1000, 10), std::vector<int64_t>{});
  EXPECT_EQ(InRange(1000, 2000, 0), std::vector<int64_t>{});
}

TEST_F(BookmarkStoreTest, InRangeOverTheWholeTimeLineDoesNotOverflow) {
  store_.Add(1, "first");
  store_.Add(INT64_MAX / 2, "middle");
  store_.Add(INT64_MAX - 1, "last");
  EXPECT_EQ(InRange(INT64_MIN, INT64_MAX, 1000), (std::vector<int64_t>{1, INT64_MAX / 2, INT64_MAX - 1}));
  EXPECT_EQ(InRange(INT64_MIN, INT64_MAX, 2), (std::vector<int64_t>{1}))
      << "every bookmark lies in the upper half: one column";
  EXPECT_EQ(InRange(0, INT64_MAX, INT_MAX), (std::vector<int64_t>{1, INT64_MAX / 2, INT64_MAX - 1}));
}

// --- Loading -----------------------------------------------------------------------------------

TEST_F(BookmarkStoreTest, BookmarksSurviveALoad) {
  store_.Add(300, "third");
  store_.Add(100, "first");
  store_.Add(200, "second");
  store_.Remove(200);
  BookmarkStore again;
  again.Load(db_, kKey);
  EXPECT_EQ(again.Count(), 2u);
  EXPECT_EQ(again.Next(0), 100);
  EXPECT_EQ(again.Next(100), 300);
  EXPECT_EQ(again.GetTitle(300), "third");
}

TEST_F(BookmarkStoreTest, ValueNamesAreReadAsNumbers) {
  SettingsKey key(db_, kKey);
  key.WriteString("gate", "not a number");
  key.WriteString("-12", "negative");
  key.WriteString("42abc", "leading number");
  key.WriteString("9223372036854775807", "largest");
  key.WriteString(std::string(101, '1'), "name too long");
  key.WriteString("042", "same as 42");
  Reload();
  EXPECT_EQ(store_.Count(), 4u);
  EXPECT_EQ(store_.Previous(-12), 0);
  EXPECT_EQ(store_.Next(-13), -12);
  EXPECT_EQ(store_.Next(-12), 0) << "the name that is no number loads as 0";
  EXPECT_EQ(store_.Next(0), 42);
  EXPECT_EQ(store_.Next(42), INT64_MAX);
}

TEST_F(BookmarkStoreTest, OnlyTheKeysOwnValuesAreBookmarks) {
  SettingsKey(db_, "archdatabase\\BOOKMARKS").WriteString("11", "same key, other case");
  SettingsKey(db_, "ArchDatabase\\Bookmarks\\Deeper").WriteString("22", "sub-key");
  SettingsKey(db_, "ArchDatabase\\Bookmarks2").WriteString("33", "sibling");
  SettingsKey(db_, "ArchDatabase").WriteDword("44", 1);
  Reload();
  EXPECT_EQ(store_.Count(), 1u);
  EXPECT_EQ(store_.Next(0), 11);
  EXPECT_EQ(store_.GetTitle(11), "same key, other case");
}

TEST_F(BookmarkStoreTest, WithoutADatabaseBookmarksStayInMemory) {
  BookmarkStore alone;
  alone.Add(5, "t");
  alone.Save(kKey);
  EXPECT_EQ(alone.Next(0), 5);
  // An archive opened from a folder keeps its bookmarks' titles for the session.
  EXPECT_EQ(alone.GetTitle(5), "t");
  EXPECT_TRUE(alone.Remove(5));
  EXPECT_EQ(alone.GetTitle(5), "");
}

}  // namespace
}  // namespace strixc::archive
