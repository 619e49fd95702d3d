#include "shell/address_book.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "settings/settings_key.h"

namespace strixc::shell {

namespace {

constexpr char kVersionValue[] = "Version";

constexpr char kEntryPrefix[] = "Address";

std::string ValueName(int index) { return kEntryPrefix + std::to_string(index); }

// Whether Load would read the value `name` as an entry: the prefix (in any case: the tree compares
// names without regard to case) and a decimal number as ValueName writes it.
bool IsEntryName(const std::string& name) {
  const size_t prefix = sizeof kEntryPrefix - 1;
  if (name.size() <= prefix || name.size() > prefix + 9) return false;
  for (size_t i = 0; i < prefix; ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(kEntryPrefix[i])))
      return false;
  const std::string number = name.substr(prefix);
  if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  return number == std::to_string(std::stoi(number));
}

AddressEntry Demo(const char* name, const char* address) {
  AddressEntry entry;
  entry.name = name;
  entry.serverAddress = address;
  entry.port = AddressEntry::kDefaultPort;
  entry.userName = "demo";
  entry.password = "demo";
  return entry;
}

}  // namespace

const AddressEntry& AddressBook::DemoEntry(int index) {
  // The first one reaches `strixc-sim` without options (127.0.0.1:9000, demo:demo), so that a new
  // operator can connect before knowing any real server.
  static const AddressEntry kDemo[kDemoEntryCount] = {
      Demo("Demo simulator (this computer)", "127.0.0.1"),
      Demo("Demo server \xE2\x80\x93 Warehouse", "demo-warehouse.strixc.example"),
      Demo("Demo server \xE2\x80\x93 Parking", "demo-parking.strixc.example"),
      Demo("Demo server \xE2\x80\x93 Office", "demo-office.strixc.example"),
  };
  return kDemo[std::clamp(index, 0, kDemoEntryCount - 1)];
}

AddressEntry AddressBook::Get(int index) const {
  if (index < 0 || index >= Count()) return AddressEntry();
  return entries_[index];
}

bool AddressBook::Fits(const AddressEntry& entry) { return EncodeAddressEntry(entry).size() <= kMaxEntryBytes; }

bool AddressBook::Set(int index, const AddressEntry& entry) {
  if (index < -1 || index >= Count() || !Fits(entry)) return false;
  if (index == -1) {
    entries_.push_back(entry);
  } else {
    entries_[index] = entry;
  }
  return true;
}

bool AddressBook::InsertAt(int index, const AddressEntry& entry) {
  if (index < 0 || index > Count() || !Fits(entry)) return false;
  entries_.insert(entries_.begin() + index, entry);
  return true;
}

bool AddressBook::RemoveAt(int index) {
  if (index < 0 || index >= Count()) return false;
  entries_.erase(entries_.begin() + index);
  return true;
}

bool AddressBook::MoveUp(int index) {
  if (index < 1 || index >= Count()) return false;
  std::swap(entries_[index - 1], entries_[index]);
  return true;
}

bool AddressBook::MoveDown(int index) { return index >= 0 && MoveUp(index + 1); }

void AddressBook::Load(settings::SettingsDatabase& db) {
  entries_.clear();
  settings::SettingsKey key(db);
  std::vector<uint8_t> block;
  for (int n = 0;; ++n) {
    if (!key.ReadBinary(ValueName(n), kMaxEntryBytes, &block)) break;
    AddressEntry entry;
    // A damaged entry ends the book like a missing one: what follows it was saved with it.
    if (!DecodeAddressEntry(block.data(), block.size(), &entry)) break;
    entries_.push_back(std::move(entry));
  }

  uint32_t version = 0;
  key.ReadDword(kVersionValue, &version);
  if (version >= kVersion) return;
  // Only a tree that has never held a saved book gets the demonstration servers: once saved, an
  // operator who deleted them does not see them come back.
  for (int i = 0; i < kDemoEntryCount; ++i) {
    const AddressEntry& demo = DemoEntry(i);
    const bool present =
        std::any_of(entries_.begin(), entries_.end(), [&](const AddressEntry& e) { return e.name == demo.name; });
    if (!present) entries_.push_back(demo);
  }
}

bool AddressBook::Save(settings::SettingsDatabase& db) const {
  return db.Transaction([&] {
    settings::SettingsKey key(db);
    // Every old entry goes, also those beyond a gap that Load stopped at: the new book would fill
    // the gap and bring them back.
    for (const std::string& name : key.ValueNames())
      if (IsEntryName(name) && !key.DeleteValue(name)) return false;
    for (int n = 0; n < Count(); ++n) {
      const std::vector<uint8_t> bytes = EncodeAddressEntry(entries_[n]);
      if (!key.WriteBinary(ValueName(n), bytes.data(), bytes.size())) return false;
    }
    return key.WriteDword(kVersionValue, kVersion);
  });
}

}  // namespace strixc::shell
