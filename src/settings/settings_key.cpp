#include "settings/settings_key.h"

#include <cstring>

namespace strixc::settings {

SettingsKey::SettingsKey(SettingsDatabase& db) : db_(db), path_(SettingsDatabase::kProgramKey) {
  db_.CreateKey(path_);
}

SettingsKey::SettingsKey(SettingsDatabase& db, const std::string& subKey)
    : db_(db), path_(std::string(SettingsDatabase::kProgramKey) + "\\" + subKey) {
  db_.CreateKey(path_);
}

bool SettingsKey::Clear() { return db_.ClearKey(path_); }

bool SettingsKey::ReadDword(const std::string& name, uint32_t* value) {
  ValueKind kind;
  std::string data;
  if (!db_.ReadValue(path_, name, &kind, &data) || data.size() > sizeof *value) return false;
  // Like a registry read into a 4-byte buffer: a shorter block replaces only its own bytes.
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(*value >> (8 * i));
  std::memcpy(bytes, data.data(), data.size());
  *value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

bool SettingsKey::WriteDword(const std::string& name, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return db_.WriteValue(path_, name, ValueKind::kDword, bytes, sizeof bytes);
}

bool SettingsKey::ReadString(const std::string& name, std::string* value) {
  ValueKind kind;
  std::string data;
  if (!db_.ReadValue(path_, name, &kind, &data) || kind != ValueKind::kString || data.size() > kMaxStringBytes)
    return false;
  // The stored bytes end with the terminating zero; the string is what comes before the first zero.
  *value = std::string(data.c_str());
  return true;
}

bool SettingsKey::WriteString(const std::string& name, const std::string& value) {
  return db_.WriteValue(path_, name, ValueKind::kString, value.c_str(), value.size() + 1);
}

bool SettingsKey::ReadBinary(const std::string& name, void* buffer, size_t size) {
  ValueKind kind;
  std::string data;
  if (!db_.ReadValue(path_, name, &kind, &data) || data.size() != size) return false;
  std::memcpy(buffer, data.data(), size);
  return true;
}

bool SettingsKey::ReadBinary(const std::string& name, size_t maxSize, std::vector<uint8_t>* block) {
  ValueKind kind;
  std::string data;
  if (!db_.ReadValue(path_, name, &kind, &data) || data.size() > maxSize) return false;
  block->assign(data.begin(), data.end());
  return true;
}

bool SettingsKey::WriteBinary(const std::string& name, const void* data, size_t size) {
  return db_.WriteValue(path_, name, ValueKind::kBinary, data, size);
}

bool SettingsKey::DeleteValue(const std::string& name) { return db_.DeleteValue(path_, name); }

bool SettingsKey::EnumValue(int index, std::string* name) { return db_.ValueNameAt(path_, index, name); }

std::vector<std::string> SettingsKey::ValueNames() { return db_.ValueNames(path_); }

}  // namespace strixc::settings
