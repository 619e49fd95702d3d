#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "shell/dialog_frame.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace strixc::exporting {

// "Export video sequence to AVI file": the camera ("C%d %s", read-only), the span's start and end
// as time and date, the frame rate ("5" .. "30", "10" at the start), and the file name with
// "Browse ..." (a save dialog offering .avi, .mkv and .mp4). The file name starts with the name
// accepted last in this process.
//
// "OK" refuses an empty (or blank) file name: the dialog stays open and says so. A name without
// an extension gets ".avi", as the save dialog's default extension does. On OK the name is
// remembered for the next dialog.
//
// `start` and `end` are archive times; `wallClockTimes` says they are the wall clock already (a
// server's archive). UI thread only. Controls by object name: "camera", "start", "end",
// "frame_rate", "file_name", "file_name_error", buttons "browse", "ok", "cancel".
class ExportDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  static constexpr int kRates[] = {5, 10, 15, 20, 25, 30};
  static constexpr int kInitialRateItem = 1;
  // The rate of an item outside the list.
  static constexpr int kFallbackRate = 15;

  ExportDialog(int camera, const QString& cameraName, uint64_t start, uint64_t end, QWidget* parent = nullptr,
               bool wallClockTimes = false);

  std::string FileName() const;
  int FramesPerSecond() const;
  static int RateOfItem(int item);

  // The name OK remembered last in this process (empty at first); tests reset it.
  static QString LastFileName();
  static void SetLastFileName(const QString& name);

  void accept() override;

 private:
  void Browse();

  QLineEdit* fileName_ = nullptr;
  QComboBox* rate_ = nullptr;
  QLabel* error_ = nullptr;
};

// The browser's export question: runs the dialog modally over `parent`; on OK fills the file name
// (UTF-8) and the frame rate and returns true.
bool AskExport(int camera, const QString& cameraName, uint64_t start, uint64_t end, QWidget* parent,
               std::string* fileName, int* framesPerSecond);

}  // namespace strixc::exporting
