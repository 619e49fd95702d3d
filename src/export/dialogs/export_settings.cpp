#include "export/dialogs/export_settings.h"

#include <algorithm>

#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace strixc::exporting {

namespace {

constexpr char kQuality[] = "Quality";
constexpr char kKeyFrameInterval[] = "KeyFrameInterval";
// Encoder names are short; a longer value is a hand edit, not a name.
constexpr size_t kMaxCodecName = 32;

std::string CodecValue(Container container) { return std::string("Codec.") + ContainerMuxer(container); }

}  // namespace

ExportCompression ExportSettings::Load(settings::SettingsDatabase& db, Container container,
                                       const ExportCompression& fallback) {
  ExportCompression options = fallback;
  settings::SettingsKey key(db, kKeyName);
  std::string codec;
  if (key.ReadString(CodecValue(container), &codec) && codec.size() <= kMaxCodecName) options.codec = codec;
  uint32_t value = 0;
  // Read as unsigned and clamped before the cast: a huge stored value must not turn negative.
  if (key.ReadDword(kQuality, &value))
    options.quality = static_cast<int>(std::clamp<uint32_t>(value, kMinQuality, kMaxQuality));
  if (key.ReadDword(kKeyFrameInterval, &value))
    options.keyFrameInterval = static_cast<int>(std::clamp<uint32_t>(value, kMinKeyFrameInterval, kMaxKeyFrameInterval));
  return options;
}

bool ExportSettings::Save(settings::SettingsDatabase& db, Container container, const ExportCompression& options) {
  settings::SettingsKey key(db, kKeyName);
  const auto quality = static_cast<uint32_t>(std::clamp(options.quality, kMinQuality, kMaxQuality));
  const auto interval =
      static_cast<uint32_t>(std::clamp(options.keyFrameInterval, kMinKeyFrameInterval, kMaxKeyFrameInterval));
  return key.WriteString(CodecValue(container), options.codec) && key.WriteDword(kQuality, quality) &&
         key.WriteDword(kKeyFrameInterval, interval);
}

}  // namespace strixc::exporting
