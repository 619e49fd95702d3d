#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "settings/settings_database.h"
#include "shell/address_entry.h"

namespace strixc::shell {

// The operator's list of servers, in the order shown in the Connection dialog. Stored under the
// program key as "Address0", "Address1", ... (see address_entry.h) with the root DWORD "Version".
//
// A plain value object for one thread (the UI thread). Indices are 0-based.
class AddressBook {
 public:
  // The largest stored entry Load reads; Set and InsertAt refuse an entry whose stored form is
  // larger, because it could be saved but never loaded again.
  static constexpr size_t kMaxEntryBytes = 4096;
  // The "Version" a saved book carries. A tree with a lower one has never had a book saved, and
  // Load completes it with the demonstration servers.
  static constexpr uint32_t kVersion = 4;
  static constexpr int kDemoEntryCount = 4;

  // The demonstration servers (index 0..kDemoEntryCount-1, clamped); the first is a strixc-sim
  // started with its defaults on this computer.
  static const AddressEntry& DemoEntry(int index);

  int Count() const { return static_cast<int>(entries_.size()); }
  // A copy of the entry; an empty entry (default port) for an index out of range.
  AddressEntry Get(int index) const;
  // Replaces the entry at `index`, or appends for -1. False (book unchanged) for any other index
  // out of range or an entry larger than kMaxEntryBytes when stored.
  bool Set(int index, const AddressEntry& entry);
  // Inserts before `index` (Count() appends). False as for Set.
  bool InsertAt(int index, const AddressEntry& entry);
  bool RemoveAt(int index);
  // Swap with the neighbour; moving the first up or the last down changes nothing (false).
  bool MoveUp(int index);
  bool MoveDown(int index);

  // Replaces the book with the stored one: entries up to the first missing or undecodable value,
  // then the demonstration servers that are missing by name when the stored Version is below
  // kVersion. Writes nothing.
  void Load(settings::SettingsDatabase& db);
  // Replaces the stored book, and sets Version, in one transaction; false (nothing changed) when
  // the database refuses.
  bool Save(settings::SettingsDatabase& db) const;

 private:
  static bool Fits(const AddressEntry& entry);

  std::vector<AddressEntry> entries_;
};

}  // namespace strixc::shell
