#pragma once

#include <string>
#include <vector>

#include "export/export_compression.h"
#include "shell/dialog_frame.h"

class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;

namespace strixc::settings {
class SettingsDatabase;
}

namespace strixc::shell {
class PictureButton;
}

namespace strixc::exporting {

// "Compression options": the encoder of an export file, its quality and its key-frame interval
// (0: the encoder's own). The list holds only what ExportCodecs offers for the container; it
// starts at `initial`'s codec when that is offered, else at the container's default, else at the
// first entry. With nothing offered the dialog says so and "OK" stays disabled.
//
// UI thread only. Controls by object name: combo box "codec", slider "quality" with its value
// text "quality_value", spin box "key_frames", the notice "no_encoder", buttons "ok" and "cancel".
class CompressionDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  CompressionDialog(Container container, const ExportCompression& initial, QWidget* parent = nullptr);

  // What the controls show; codec empty when nothing is offered.
  ExportCompression Options() const;
  const std::vector<std::string>& Offered() const { return offered_; }

 private:
  std::vector<std::string> offered_;
  QComboBox* codec_ = nullptr;
  QSlider* quality_ = nullptr;
  QSpinBox* keyFrames_ = nullptr;
};

// The writer's CompressionChooser: runs the dialog modally over `owner` (a widget, or null) for the
// container of `fileName`, starting from the choice remembered in `db` over `*options`. On OK
// stores the choice in `db`, fills `options` and returns true; on Cancel (or Escape, or the close
// box) leaves both unchanged and returns false, and the writer's Open fails.
bool ChooseCompression(settings::SettingsDatabase& db, QObject* owner, const std::string& fileName,
                       ExportCompression* options);

// ChooseCompression bound to `db`, which must outlive the chooser.
CompressionChooser MakeCompressionChooser(settings::SettingsDatabase& db);

}  // namespace strixc::exporting
