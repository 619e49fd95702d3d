// The address book's stored form: "Address<n>" values of any kind and content and any "Version".
// Loading never fails hard, and what was loaded saves and loads back as the same book; a single
// entry that decodes encodes to bytes that decode to the same entry.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "settings/settings_database.h"
#include "settings/settings_key.h"
#include "shell/address_book.h"
#include "shell/address_entry.h"

// Input: u32 Version, then values, each a kind byte (low two bits: binary, string, dword, missing),
// a u16 length and that many bytes; the n-th becomes "Address<n>".
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace strixc;
  using settings::ValueKind;
  strixc::fuzz::InputReader in(data, size);
  settings::SettingsDatabase db;
  db.OpenInMemory();
  const std::string program = settings::SettingsKey(db).Path();
  const uint32_t version = in.Number(4);
  FUZZ_CHECK(db.WriteValue(program, "Version", ValueKind::kDword, &version, sizeof version));

  int stored = 0;
  for (int n = 0; in.Left() > 0; ++n) {
    const uint32_t kind = in.Number(1) & 3;
    size_t length = 0;
    const uint8_t* bytes = in.Bytes(in.Number(2), &length);
    if (kind == 3) continue;
    const ValueKind kinds[] = {ValueKind::kBinary, ValueKind::kString, ValueKind::kDword};
    FUZZ_CHECK(db.WriteValue(program, "Address" + std::to_string(n), kinds[kind], bytes, length));
    ++stored;

    shell::AddressEntry entry;
    if (shell::DecodeAddressEntry(bytes, length, &entry)) {
      const auto encoded = shell::EncodeAddressEntry(entry);
      FUZZ_CHECK(encoded.size() <= length);
      shell::AddressEntry back;
      FUZZ_CHECK(shell::DecodeAddressEntry(encoded.data(), encoded.size(), &back) && back == entry);
    }
  }

  shell::AddressBook book;
  book.Load(db);
  FUZZ_CHECK(book.Count() <= stored + shell::AddressBook::kDemoEntryCount);
  FUZZ_CHECK(book.Save(db));
  shell::AddressBook loaded;
  loaded.Load(db);
  FUZZ_CHECK(loaded.Count() == book.Count());
  for (int i = 0; i < book.Count(); ++i) FUZZ_CHECK(loaded.Get(i) == book.Get(i));
  return 0;
}
