#pragma once

// One server of the address book and its stored form: the binary value "Address<n>" under the
// program key holds five length-prefixed byte strings, in the order user name, password, port,
// server address, name, without terminating zeros. docs/settings.md describes the prefix.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace strixc::shell {

struct AddressEntry {
  static constexpr char kDefaultPort[] = "9000";

  std::string name;
  std::string userName;
  std::string password;
  std::string port = kDefaultPort;  // text, as the operator typed it
  std::string serverAddress;

  bool operator==(const AddressEntry&) const = default;
};

// Length prefixes: one byte below kLongLength; kLongLength then a 16-bit length below
// kHugeLength; kLongLength, 0xFFFF, then a 32-bit length from kHugeLength on. Little-endian.
namespace address_format {
constexpr uint8_t kLongLength = 0xFF;
constexpr uint32_t kHugeLength = 0xFFFE;
}  // namespace address_format

// The stored bytes of `entry`. Strings are stored byte for byte (UTF-8 here).
std::vector<uint8_t> EncodeAddressEntry(const AddressEntry& entry);

// Reads the stored bytes back. False (and `entry` unchanged) when a length prefix or a string runs
// past the end of the block. Bytes after the fifth string are ignored.
bool DecodeAddressEntry(const uint8_t* data, size_t size, AddressEntry* entry);

}  // namespace strixc::shell
