#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "settings/settings_database.h"

namespace strixc::tools {

// The station's own options: the JPEG qualities it asks the server for, the default folder for
// the operator's files and whether to ask before creating an archive. Stored under the key
// "ClientSettings" of the program key.
//
// Thread-safe: the UI thread and the network code share one object; every accessor takes lock_.
class ClientSettings {
 public:
  static constexpr char kKeyName[] = "ClientSettings";
  static constexpr uint32_t kDefaultKeyQuality = 25;
  static constexpr uint32_t kDefaultDeltaQuality = 25;
  static constexpr char kDefaultDirName[] = "DevazUzerFiles";

  // `dataFolder` (see DataFolder) holds the default folder, kDefaultDirName.
  explicit ClientSettings(const std::string& dataFolder);

  uint32_t GetKeyQuality() const;
  void SetKeyQuality(uint32_t quality);
  uint32_t GetDeltaQuality() const;
  void SetDeltaQuality(uint32_t quality);
  std::string GetDefaultDir() const;
  void SetDefaultDir(const std::string& dir);
  bool GetArchCreateQuestion() const;
  void SetArchCreateQuestion(bool ask);

  // Reads what is stored over the current values: each number as the (up to) 4 raw bytes of its
  // value, whatever its kind; the folder only when stored as a string of at most
  // SettingsKey::kMaxStringBytes bytes. Missing values leave their field as it was.
  void Load(settings::SettingsDatabase& db, const std::string& keyName = kKeyName);
  // Replaces the key's content (other values it held are dropped) with the four values, in one
  // transaction; false (nothing changed) when the database refuses.
  bool Save(settings::SettingsDatabase& db, const std::string& keyName = kKeyName) const;

 private:
  mutable std::mutex lock_;
  // Guarded by lock_:
  uint32_t keyQuality_ = kDefaultKeyQuality;
  uint32_t deltaQuality_ = kDefaultDeltaQuality;
  std::string defaultDir_;
  uint32_t archCreateQuestion_ = 1;  // nonzero: ask
};

}  // namespace strixc::tools
