#include "tools/client_settings.h"

#include <algorithm>

#include "settings/settings_key.h"
#include "shell/language.h"
#include "shell/string_table.h"

namespace strixc::tools {

namespace {

constexpr char kKeyQualityValue[] = "KeyQuality";
constexpr char kDeltaQualityValue[] = "DeltaQuality";
constexpr char kDefaultDirValue[] = "DefaultDir";
constexpr char kArchCreateQuestionValue[] = "ArchCreateQuestion";
constexpr char kServerEncodingValue[] = "ServerTextEncoding";
constexpr char kReconnectValue[] = "ReconnectAutomatically";
constexpr char kStaleSecondsValue[] = "StalePictureSeconds";

uint32_t ClampStale(uint32_t seconds) {
  return std::clamp(seconds, ClientSettings::kMinStaleSeconds, ClientSettings::kMaxStaleSeconds);
}

}  // namespace

ClientSettings::ClientSettings(const std::string& dataFolder) : defaultDir_(dataFolder + "/" + kDefaultDirName) {}

uint32_t ClientSettings::GetKeyQuality() const {
  std::lock_guard<std::mutex> guard(lock_);
  return keyQuality_;
}

void ClientSettings::SetKeyQuality(uint32_t quality) {
  std::lock_guard<std::mutex> guard(lock_);
  keyQuality_ = quality;
}

uint32_t ClientSettings::GetDeltaQuality() const {
  std::lock_guard<std::mutex> guard(lock_);
  return deltaQuality_;
}

void ClientSettings::SetDeltaQuality(uint32_t quality) {
  std::lock_guard<std::mutex> guard(lock_);
  deltaQuality_ = quality;
}

std::string ClientSettings::GetDefaultDir() const {
  std::lock_guard<std::mutex> guard(lock_);
  return defaultDir_;
}

void ClientSettings::SetDefaultDir(const std::string& dir) {
  std::lock_guard<std::mutex> guard(lock_);
  defaultDir_ = dir;
}

bool ClientSettings::GetArchCreateQuestion() const {
  std::lock_guard<std::mutex> guard(lock_);
  return archCreateQuestion_ != 0;
}

void ClientSettings::SetArchCreateQuestion(bool ask) {
  std::lock_guard<std::mutex> guard(lock_);
  archCreateQuestion_ = ask ? 1 : 0;
}

bool ClientSettings::GetReconnect() const {
  std::lock_guard<std::mutex> guard(lock_);
  return reconnect_ != 0;
}

void ClientSettings::SetReconnect(bool on) {
  std::lock_guard<std::mutex> guard(lock_);
  reconnect_ = on ? 1 : 0;
}

uint32_t ClientSettings::GetStaleSeconds() const {
  std::lock_guard<std::mutex> guard(lock_);
  return staleSeconds_;
}

void ClientSettings::SetStaleSeconds(uint32_t seconds) {
  std::lock_guard<std::mutex> guard(lock_);
  staleSeconds_ = ClampStale(seconds);
}

std::string ClientSettings::DefaultServerEncoding(int languageIndex) {
  // Polish servers write their names in the Central European code page.
  const int lcid = shell::LocaleOfIndex(languageIndex).lcid;
  return shell::TextLanguageOfLcid(lcid) == shell::TextLanguage::kPolish ? kPolishServerEncoding
                                                                          : net::TextCodec::kDefaultName;
}

std::string ClientSettings::GetServerEncoding() const {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!serverEncoding_.empty()) return serverEncoding_;
  }
  return DefaultServerEncoding(shell::LanguageIndex());
}

void ClientSettings::SetServerEncoding(const std::string& name) {
  std::lock_guard<std::mutex> guard(lock_);
  serverEncoding_ = name;
}

net::TextCodec ClientSettings::ServerTextCodec() const {
  if (auto codec = net::TextCodec::Create(GetServerEncoding())) return *codec;
  if (auto codec = net::TextCodec::Create(DefaultServerEncoding(shell::LanguageIndex()))) return *codec;
  return net::TextCodec();
}

void ClientSettings::Load(settings::SettingsDatabase& db, const std::string& keyName) {
  // Lock order: this object, then the database.
  std::lock_guard<std::mutex> guard(lock_);
  settings::SettingsKey key(db, keyName);
  key.ReadDword(kKeyQualityValue, &keyQuality_);
  key.ReadDword(kDeltaQualityValue, &deltaQuality_);
  key.ReadString(kDefaultDirValue, &defaultDir_);
  key.ReadDword(kArchCreateQuestionValue, &archCreateQuestion_);
  key.ReadDword(kReconnectValue, &reconnect_);
  if (key.ReadDword(kStaleSecondsValue, &staleSeconds_)) staleSeconds_ = ClampStale(staleSeconds_);
  std::string encoding;
  if (key.ReadString(kServerEncodingValue, &encoding) && net::TextCodec::Create(encoding)) serverEncoding_ = encoding;
}

bool ClientSettings::Save(settings::SettingsDatabase& db, const std::string& keyName) const {
  uint32_t keyQuality, deltaQuality, archCreateQuestion, reconnect, staleSeconds;
  std::string defaultDir, serverEncoding;
  {
    std::lock_guard<std::mutex> guard(lock_);
    keyQuality = keyQuality_;
    deltaQuality = deltaQuality_;
    archCreateQuestion = archCreateQuestion_;
    reconnect = reconnect_;
    staleSeconds = staleSeconds_;
    defaultDir = defaultDir_;
    serverEncoding = serverEncoding_;
  }
  return db.Transaction([&] {
    settings::SettingsKey key(db, keyName);
    return key.Clear() && key.WriteDword(kKeyQualityValue, keyQuality) &&
           key.WriteDword(kDeltaQualityValue, deltaQuality) && key.WriteString(kDefaultDirValue, defaultDir) &&
           key.WriteDword(kArchCreateQuestionValue, archCreateQuestion) &&
           key.WriteDword(kReconnectValue, reconnect) && key.WriteDword(kStaleSecondsValue, staleSeconds) &&
           (serverEncoding.empty() || key.WriteString(kServerEncodingValue, serverEncoding));
  });
}

}  // namespace strixc::tools
