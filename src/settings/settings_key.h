#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings_database.h"

namespace strixc::settings {

// Opens one key of the settings tree (creating it when missing) and reads and writes its typed
// values. Short-lived; one thread at a time. The database must outlive it.
//
// Reads leave their output unchanged on failure.
class SettingsKey {
 public:
  // Longest string value ReadString takes, terminating zero included.
  static constexpr size_t kMaxStringBytes = 500;

  // The program key.
  explicit SettingsKey(SettingsDatabase& db);
  // A sub-key of the program key; `subKey` may hold further "\" separators.
  SettingsKey(SettingsDatabase& db, const std::string& subKey);

  const std::string& Path() const { return path_; }

  // Removes every sub-key (recursively) and every value; the key itself remains.
  bool Clear();

  // Reads at most 4 bytes, whatever the value's kind; false when missing or longer.
  bool ReadDword(const std::string& name, uint32_t* value);
  bool WriteDword(const std::string& name, uint32_t value);
  // Only a string value of at most kMaxStringBytes bytes (terminating zero included).
  bool ReadString(const std::string& name, std::string* value);
  bool WriteString(const std::string& name, const std::string& value);
  // Only a block of exactly `size` bytes.
  bool ReadBinary(const std::string& name, void* buffer, size_t size);
  // Any block of at most `maxSize` bytes.
  bool ReadBinary(const std::string& name, size_t maxSize, std::vector<uint8_t>* block);
  bool WriteBinary(const std::string& name, const void* data, size_t size);
  bool DeleteValue(const std::string& name);
  // The name of the index-th value, in the order values were first written; false past the end.
  bool EnumValue(int index, std::string* name);
  // Every value name, in that order: one query where EnumValue needs one per index.
  std::vector<std::string> ValueNames();

 private:
  SettingsDatabase& db_;
  std::string path_;
};

}  // namespace strixc::settings
