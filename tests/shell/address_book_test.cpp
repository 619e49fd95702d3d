#include "shell/address_book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/settings_key.h"

namespace strixc::shell {
namespace {

using settings::SettingsKey;

AddressEntry Server(const std::string& name, const std::string& address = "10.0.0.1") {
  AddressEntry e;
  e.name = name;
  e.userName = "operator";
  e.password = "secret";
  e.port = "9100";
  e.serverAddress = address;
  return e;
}

std::vector<std::string> Names(const AddressBook& book) {
  std::vector<std::string> names;
  for (int i = 0; i < book.Count(); ++i) names.push_back(book.Get(i).name);
  return names;
}

std::vector<std::string> DemoNames() {
  std::vector<std::string> names;
  for (int i = 0; i < AddressBook::kDemoEntryCount; ++i) names.push_back(AddressBook::DemoEntry(i).name);
  return names;
}

class AddressBookTest : public ::testing::Test {
 protected:
  void SetUp() override { db_.OpenInMemory(); }

  void StoreEntry(int n, const AddressEntry& e) {
    const std::vector<uint8_t> bytes = EncodeAddressEntry(e);
    SettingsKey(db_).WriteBinary("Address" + std::to_string(n), bytes.data(), bytes.size());
  }
  void StoreRaw(int n, const std::vector<uint8_t>& bytes) {
    SettingsKey(db_).WriteBinary("Address" + std::to_string(n), bytes.data(), bytes.size());
  }
  void StoreVersion(uint32_t version) { SettingsKey(db_).WriteDword("Version", version); }
  std::vector<std::string> StoredValueNames() {
    std::vector<std::string> names;
    std::string name;
    SettingsKey key(db_);
    for (int i = 0; key.EnumValue(i, &name); ++i) names.push_back(name);
    return names;
  }
  std::vector<uint8_t> Stored(int n) {
    std::vector<uint8_t> block;
    SettingsKey(db_).ReadBinary("Address" + std::to_string(n), 1 << 20, &block);
    return block;
  }

  settings::SettingsDatabase db_;
  AddressBook book_;
};

// --- Demonstration servers ---------------------------------------------------------------------

TEST_F(AddressBookTest, FirstStartGivesTheFourDemonstrationServers) {
  book_.Load(db_);
  EXPECT_EQ(Names(book_), DemoNames());
  const AddressEntry local = book_.Get(0);
  EXPECT_EQ(local.serverAddress, "127.0.0.1") << "strixc-sim listens there by default";
  EXPECT_EQ(local.port, "9000");
  EXPECT_EQ(local.userName, "demo");
  EXPECT_EQ(local.password, "demo");
  EXPECT_TRUE(StoredValueNames().empty()) << "Load writes nothing";
}

TEST_F(AddressBookTest, ASavedBookNeverGetsThemAgain) {
  book_.Load(db_);
  while (book_.Count() > 0) book_.RemoveAt(0);
  book_.Set(-1, Server("Head office"));
  ASSERT_TRUE(book_.Save(db_));

  AddressBook again;
  again.Load(db_);
  EXPECT_EQ(Names(again), std::vector<std::string>{"Head office"});

  ASSERT_TRUE(AddressBook().Save(db_));
  again.Load(db_);
  EXPECT_EQ(again.Count(), 0) << "an emptied book stays empty";
}

TEST_F(AddressBookTest, OldVersionGetsOnlyTheMissingDemonstrationServers) {
  AddressEntry mine = Server(AddressBook::DemoEntry(2).name, "192.168.1.20");
  StoreEntry(0, mine);
  StoreVersion(3);
  book_.Load(db_);
  ASSERT_EQ(book_.Count(), 4);
  EXPECT_EQ(book_.Get(0), mine) << "the operator's entry keeps its own address";
  EXPECT_EQ(Names(book_), (std::vector<std::string>{DemoNames()[2], DemoNames()[0], DemoNames()[1], DemoNames()[3]}));
}

// --- Stored form -------------------------------------------------------------------------------

TEST_F(AddressBookTest, StoredFieldOrderAndShortPrefixes) {
  AddressEntry e;
  e.userName = "u";
  e.password = "pw";
  e.port = "9000";
  e.serverAddress = "host";
  e.name = "";
  const std::vector<uint8_t> expected = {1, 'u', 2, 'p', 'w', 4, '9', '0', '0', '0', 4, 'h', 'o', 's', 't', 0};
  EXPECT_EQ(EncodeAddressEntry(e), expected);
}

TEST_F(AddressBookTest, LongNamesUseTheSixteenAndThirtyTwoBitPrefixes) {
  AddressEntry e = Server(std::string(300, 'n'));
  ASSERT_TRUE(book_.Set(-1, e));
  ASSERT_TRUE(book_.Save(db_));
  const std::vector<uint8_t> block = Stored(0);
  const size_t nameAt = block.size() - 300 - 3;
  ASSERT_EQ(block.size(), 1 + 8 + 1 + 6 + 1 + 4 + 1 + 8 + 3 + 300u);
  EXPECT_EQ(block[nameAt], 0xFF);
  EXPECT_EQ(block[nameAt + 1], 300 & 0xFF);
  EXPECT_EQ(block[nameAt + 2], 300 >> 8);
  AddressBook again;
  again.Load(db_);
  EXPECT_EQ(again.Get(0), e);

  // The edges of each form.
  EXPECT_EQ(EncodeAddressEntry(Server(std::string(254, 'n'))).size(), EncodeAddressEntry(Server("")).size() + 254);
  EXPECT_EQ(EncodeAddressEntry(Server(std::string(255, 'n'))).size(), EncodeAddressEntry(Server("")).size() + 257);
  EXPECT_EQ(EncodeAddressEntry(Server(std::string(65533, 'n'))).size(), EncodeAddressEntry(Server("")).size() + 65535);
  EXPECT_EQ(EncodeAddressEntry(Server(std::string(65534, 'n'))).size(), EncodeAddressEntry(Server("")).size() + 65540);

  e.name = std::string(70000, 'n');
  const std::vector<uint8_t> huge = EncodeAddressEntry(e);
  const size_t hugeAt = huge.size() - 70000 - 7;
  EXPECT_EQ(std::vector<uint8_t>(huge.begin() + hugeAt, huge.begin() + hugeAt + 7),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 70000 & 0xFF, (70000 >> 8) & 0xFF, 70000 >> 16, 0}));
  AddressEntry decoded;
  ASSERT_TRUE(DecodeAddressEntry(huge.data(), huge.size(), &decoded));
  EXPECT_EQ(decoded, e);
  EXPECT_FALSE(book_.Set(0, e)) << "an entry too large to be loaded again is refused";
  EXPECT_EQ(book_.Get(0).name, std::string(300, 'n'));
}

TEST_F(AddressBookTest, BytesAreStoredAsTheyAre) {
  AddressEntry e = Server("Cam\xC3\xA9ra \xE2\x80\x93 ");
  e.name += std::string("\xFF\0raw", 5);  // not UTF-8, with a zero inside
  e.password = std::string("p\0w", 3);
  book_.Set(-1, e);
  ASSERT_TRUE(book_.Save(db_));
  AddressBook again;
  again.Load(db_);
  EXPECT_EQ(again.Get(0), e);
}

TEST_F(AddressBookTest, SavingAShorterBookLeavesNoOldEntries) {
  for (int i = 0; i < 5; ++i) book_.Set(-1, Server("server " + std::to_string(i)));
  ASSERT_TRUE(book_.Save(db_));
  AddressBook shorter;
  shorter.Set(-1, Server("a"));
  shorter.Set(-1, Server("b"));
  ASSERT_TRUE(shorter.Save(db_));

  std::vector<std::string> addresses;
  for (const std::string& name : StoredValueNames())
    if (name.rfind("Address", 0) == 0) addresses.push_back(name);
  EXPECT_EQ(addresses, (std::vector<std::string>{"Address0", "Address1"}));
  EXPECT_EQ(Stored(1), EncodeAddressEntry(Server("b")));
  uint32_t version = 0;
  ASSERT_TRUE(SettingsKey(db_).ReadDword("Version", &version));
  EXPECT_EQ(version, AddressBook::kVersion);
}

TEST_F(AddressBookTest, RoundTripKeepsOrderAndEveryField) {
  book_.Set(-1, Server("one", "one.example"));
  book_.Set(-1, Server("two", "two.example"));
  book_.InsertAt(1, Server("between", "fe80::1"));
  AddressEntry empty;
  empty.port.clear();
  book_.Set(-1, empty);
  ASSERT_TRUE(book_.Save(db_));
  AddressBook again;
  again.Load(db_);
  ASSERT_EQ(again.Count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(again.Get(i), book_.Get(i)) << i;
}

// --- Damaged or incomplete books ----------------------------------------------------------------

TEST_F(AddressBookTest, AGapEndsTheBook) {
  StoreEntry(0, Server("zero"));
  StoreEntry(2, Server("two"));
  StoreVersion(4);
  book_.Load(db_);
  EXPECT_EQ(Names(book_), std::vector<std::string>{"zero"});
}

TEST_F(AddressBookTest, SavingABookLoadedUpToAGapDropsTheEntriesBeyondIt) {
  StoreEntry(0, Server("zero"));
  StoreEntry(2, Server("two"));
  StoreEntry(7, Server("seven"));
  SettingsKey(db_).WriteString("Address3x", "not an entry");
  StoreVersion(4);
  book_.Load(db_);
  book_.Set(-1, Server("one"));  // fills the gap
  ASSERT_TRUE(book_.Save(db_));
  AddressBook again;
  again.Load(db_);
  EXPECT_EQ(Names(again), (std::vector<std::string>{"zero", "one"}));
  const std::vector<std::string> stored = StoredValueNames();
  EXPECT_EQ(std::count(stored.begin(), stored.end(), "Address7"), 0);
  EXPECT_EQ(std::count(stored.begin(), stored.end(), "Address3x"), 1);
}

TEST_F(AddressBookTest, AnUndecodableEntryEndsTheBookKeepingTheEarlierOnes) {
  StoreEntry(0, Server("zero"));
  std::vector<uint8_t> cut = EncodeAddressEntry(Server("one"));
  cut.pop_back();  // the name's last character is missing
  StoreRaw(1, cut);
  StoreEntry(2, Server("two"));
  StoreVersion(4);
  book_.Load(db_);
  EXPECT_EQ(Names(book_), std::vector<std::string>{"zero"});
}

TEST_F(AddressBookTest, PrefixesRunningPastTheEndAreRefused) {
  AddressEntry untouched = Server("keep");
  AddressEntry e = untouched;
  const std::vector<std::vector<uint8_t>> bad = {
      {},                                        // no prefix at all
      {3, 'a', 'b'},                             // one-byte length past the end
      {0xFF, 0x2C},                              // half a 16-bit length
      {0xFF, 0x2C, 0x01, 'a'},                   // 16-bit length past the end
      {0xFF, 0xFF, 0xFF, 0x01, 0x00},            // half a 32-bit length
      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 4 GiB string
      {0, 0, 0, 0},                              // only four of the five strings
  };
  for (const auto& block : bad) {
    EXPECT_FALSE(DecodeAddressEntry(block.data(), block.size(), &e)) << block.size();
    EXPECT_EQ(e, untouched);
  }
  const std::vector<uint8_t> trailing = {0, 0, 0, 0, 1, 'x', 42, 42};
  ASSERT_TRUE(DecodeAddressEntry(trailing.data(), trailing.size(), &e)) << "bytes after the fifth string are ignored";
  EXPECT_EQ(e.name, "x");
}

TEST_F(AddressBookTest, AnEntryLargerThanTheReadLimitEndsTheBook) {
  StoreEntry(0, Server("zero"));
  StoreEntry(1, Server(std::string(AddressBook::kMaxEntryBytes, 'n')));
  StoreEntry(2, Server("two"));
  StoreVersion(4);
  book_.Load(db_);
  EXPECT_EQ(Names(book_), std::vector<std::string>{"zero"});
}

// --- Editing -----------------------------------------------------------------------------------

TEST_F(AddressBookTest, EditingAtTheEdges) {
  EXPECT_EQ(book_.Get(0), AddressEntry()) << "out of range: an empty entry";
  EXPECT_EQ(book_.Get(-1).port, "9000");
  EXPECT_FALSE(book_.Set(0, Server("x")));
  EXPECT_FALSE(book_.InsertAt(1, Server("x")));
  ASSERT_TRUE(book_.InsertAt(0, Server("b")));
  ASSERT_TRUE(book_.InsertAt(0, Server("a")));
  ASSERT_TRUE(book_.InsertAt(2, Server("c")));
  EXPECT_FALSE(book_.MoveUp(0));
  EXPECT_FALSE(book_.MoveDown(2));
  EXPECT_EQ(Names(book_), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(book_.MoveDown(0));
  EXPECT_TRUE(book_.MoveUp(2));
  EXPECT_EQ(Names(book_), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_FALSE(book_.RemoveAt(3));
  EXPECT_TRUE(book_.RemoveAt(1));
  EXPECT_EQ(Names(book_), (std::vector<std::string>{"b", "a"}));
}

}  // namespace
}  // namespace strixc::shell
