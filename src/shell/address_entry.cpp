#include "shell/address_entry.h"

namespace strixc::shell {

namespace {

using address_format::kHugeLength;
using address_format::kLongLength;

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutString(std::vector<uint8_t>& out, const std::string& s) {
  // A string of 4 GiB or more cannot be described; nothing the dialogs accept comes near it.
  const uint32_t length = s.size() > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(s.size());
  if (length < kLongLength) {
    out.push_back(static_cast<uint8_t>(length));
  } else if (length < kHugeLength) {
    out.push_back(kLongLength);
    PutLittleEndian(out, length, 2);
  } else {
    out.push_back(kLongLength);
    PutLittleEndian(out, 0xFFFF, 2);
    PutLittleEndian(out, length, 4);
  }
  out.insert(out.end(), s.begin(), s.begin() + length);
}

// Reads bytes off the front of a block; every read is checked against what is left.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : at_(data), left_(size) {}

  bool Number(int bytes, uint32_t* value) {
    if (left_ < static_cast<size_t>(bytes)) return false;
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(at_[i]) << (8 * i);
    Skip(bytes);
    *value = v;
    return true;
  }

  bool String(std::string* s) {
    uint32_t length = 0;
    if (!Number(1, &length)) return false;
    if (length == kLongLength) {
      if (!Number(2, &length)) return false;
      if (length == 0xFFFF && !Number(4, &length)) return false;
    }
    if (left_ < length) return false;
    s->assign(reinterpret_cast<const char*>(at_), length);
    Skip(length);
    return true;
  }

 private:
  void Skip(size_t n) {
    at_ += n;
    left_ -= n;
  }

  const uint8_t* at_;
  size_t left_;
};

}  // namespace

std::vector<uint8_t> EncodeAddressEntry(const AddressEntry& entry) {
  std::vector<uint8_t> out;
  out.reserve(entry.userName.size() + entry.password.size() + entry.port.size() + entry.serverAddress.size() +
              entry.name.size() + 5);
  for (const std::string* s : {&entry.userName, &entry.password, &entry.port, &entry.serverAddress, &entry.name})
    PutString(out, *s);
  return out;
}

bool DecodeAddressEntry(const uint8_t* data, size_t size, AddressEntry* entry) {
  AddressEntry read;
  Cursor cursor(data, size);
  for (std::string* s : {&read.userName, &read.password, &read.port, &read.serverAddress, &read.name})
    if (!cursor.String(s)) return false;
  *entry = std::move(read);
  return true;
}

}  // namespace strixc::shell
