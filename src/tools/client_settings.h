#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "net/text_codec.h"
#include "settings/settings_database.h"

namespace strixc::tools {

// The station's own options: the JPEG qualities it asks the server for, the default folder for
// the operator's files, whether to ask before creating an archive and the code page of the
// server's texts. Stored under the key "ClientSettings" of the program key.
//
// Thread-safe: the UI thread and the network code share one object; every accessor takes lock_.
class ClientSettings {
 public:
  static constexpr char kKeyName[] = "ClientSettings";
  static constexpr uint32_t kDefaultKeyQuality = 25;
  static constexpr uint32_t kDefaultDeltaQuality = 25;
  static constexpr char kDefaultDirName[] = "DevazUzerFiles";
  static constexpr char kPolishServerEncoding[] = "Windows-1250";
  static constexpr uint32_t kDefaultStaleSeconds = 3;
  static constexpr uint32_t kMinStaleSeconds = 1;
  static constexpr uint32_t kMaxStaleSeconds = 60;

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
  // "Reconnect automatically" after a connection broke by itself (on by default).
  bool GetReconnect() const;
  void SetReconnect(bool on);
  // After how many seconds without a picture a connected camera's cell shows the picture's age;
  // kept within kMinStaleSeconds..kMaxStaleSeconds.
  uint32_t GetStaleSeconds() const;
  void SetStaleSeconds(uint32_t seconds);
  // "Server text encoding": the code page the operator chose or, without a choice, the default of
  // the current language (shell::LanguageIndex): Windows-1250 for Polish, Windows-1252 otherwise.
  std::string GetServerEncoding() const;
  // An empty name drops the choice (back to the language's default).
  void SetServerEncoding(const std::string& name);
  // The codec of GetServerEncoding; the language's default when the platform cannot convert it.
  net::TextCodec ServerTextCodec() const;
  static std::string DefaultServerEncoding(int languageIndex);

  // Reads what is stored over the current values: each number as the (up to) 4 raw bytes of its
  // value, whatever its kind; the folder only when stored as a string of at most
  // SettingsKey::kMaxStringBytes bytes; the encoding only when it names a single-byte code page
  // that the platform converts. Missing values leave their field as it was.
  void Load(settings::SettingsDatabase& db, const std::string& keyName = kKeyName);
  // Replaces the key's content (other values it held are dropped) with the six values and the
  // chosen encoding, if any, in one transaction; false (nothing changed) when the database refuses.
  bool Save(settings::SettingsDatabase& db, const std::string& keyName = kKeyName) const;

 private:
  mutable std::mutex lock_;
  // Guarded by lock_:
  uint32_t keyQuality_ = kDefaultKeyQuality;
  uint32_t deltaQuality_ = kDefaultDeltaQuality;
  std::string defaultDir_;
  uint32_t archCreateQuestion_ = 1;  // nonzero: ask
  uint32_t reconnect_ = 1;           // nonzero: reconnect
  uint32_t staleSeconds_ = kDefaultStaleSeconds;
  std::string serverEncoding_;       // empty: the language's default
};

}  // namespace strixc::tools
