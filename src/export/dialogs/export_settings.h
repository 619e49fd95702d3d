#pragma once

#include <string>

#include "export/export_compression.h"

namespace strixc::settings {
class SettingsDatabase;
}

namespace strixc::exporting {

// The export's remembered compression, in the key "AviExport" of the program key: per container
// the encoder ("Codec.avi", "Codec.matroska", "Codec.mp4"), and the quality ("Quality") and
// key-frame interval ("KeyFrameInterval") shared by all. docs/settings.md lists them.
//
// Stateless; the database must be open. Safe from any thread the database allows.
class ExportSettings {
 public:
  static constexpr char kKeyName[] = "AviExport";
  static constexpr int kMinQuality = 0;
  static constexpr int kMaxQuality = 100;
  // 0 leaves the key frames to the encoder.
  static constexpr int kMinKeyFrameInterval = 0;
  static constexpr int kMaxKeyFrameInterval = 300;

  // The stored choice for `container` over `fallback`: what is missing keeps the fallback's value,
  // a stored quality or interval out of range is clamped into it, an over-long codec name is
  // dropped. The codec may be one this build no longer has: the dialog checks it against what it
  // offers.
  static ExportCompression Load(settings::SettingsDatabase& db, Container container,
                                const ExportCompression& fallback = ExportCompression());
  // False when the database refuses a value.
  static bool Save(settings::SettingsDatabase& db, Container container, const ExportCompression& options);
};

}  // namespace strixc::exporting
