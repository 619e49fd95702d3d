#pragma once

#include <functional>

#include "shell/dialog_frame.h"

class QProgressBar;

namespace strixc::exporting {

// The modeless "Exporting a video sequence to AVI file" window: a progress bar (0..100) and
// "Cancel". "Cancel", Escape and the window's close all ask `cancel` to end the export (the
// playback source's CancelExport); none of them hides the window, which stays until the export's
// end is reported (the owner hides it then), so the operator never loses the only way to stop an
// export while the browser is disabled.
//
// UI thread only. `cancel` runs on the UI thread and may be empty. Controls by object name:
// "progress", "cancel".
class ExportProgressWindow : public shell::DialogFrame {
  Q_OBJECT

 public:
  explicit ExportProgressWindow(std::function<void()> cancel, QWidget* parent = nullptr);

  // Clamped to 0..100.
  void SetPercent(int percent);
  int Percent() const;

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<void()> cancel_;
  QProgressBar* bar_ = nullptr;
};

}  // namespace strixc::exporting
