#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "shell/dialog_frame.h"
#include "video/snapshot.h"

namespace strixc::display {
class VideoDisplay;
}

namespace strixc::tools {

// The picture of a packed bitmap (40-byte header, bottom-up 24-bit rows), or a null image when the
// bytes are not such a bitmap (wrong header, rows beyond `size`).
QImage BitmapToImage(const uint8_t* dib, size_t size);

// A width x height sample picture for the gallery and tests: a colour gradient with a disc.
std::vector<uint8_t> SampleSnapshotBitmap(int width, int height);

// The snapshot preview, "Save frame to a file": the picture stretched over the preview area, and
// the buttons "Save to file..." (object name "save") and "Close" ("close"). Saving leaves the
// dialog open, so one picture can be saved more than once.
//
// UI thread only.
class SnapshotDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  // The preview area's size; the picture is stretched to it whatever its shape.
  static constexpr int kPreviewWidth = 384;
  static constexpr int kPreviewHeight = 288;

  // Asks the operator for the file to write, proposing `proposed`; empty when they gave none.
  using FileNameAsker = std::function<QString(QWidget* parent, const QString& proposed)>;
  // Shows a message to the operator.
  using Notifier = std::function<void(const QString& text)>;

  // `dib`: the packed bitmap to show and save, as VideoDisplay::ExtractRegion makes it.
  explicit SnapshotDialog(std::vector<uint8_t> dib, QWidget* parent = nullptr);

  // Defaults: the desktop's save-file dialog for "JPEG (*.jpg)", confirming an overwrite; the
  // program's message box. Tests replace them.
  void SetFileNameAsker(FileNameAsker asker) { askFileName_ = std::move(asker); }
  void SetNotifier(Notifier notifier) { notify_ = std::move(notifier); }

  const QImage& Picture() const { return picture_; }

  // The file name the save question proposes (a full path); none by default.
  void SetProposedName(const QString& path) { proposed_ = path; }

  // "Save to file...": asks for a name (".jpg" is added when it has no JPEG extension) and writes
  // the JPEG there; a file that cannot be written is
  // reported to the operator with "Can't create file !". False when nothing was written (no name
  // given, or the failure).
  bool SaveToFile();

 private:
  std::vector<uint8_t> dib_;
  QImage picture_;
  video::SnapshotWriter writer_;
  FileNameAsker askFileName_;
  Notifier notify_;
  QString proposed_;
};

// The name a snapshot of `camera` (from 0) named `cameraName`, taken at `time`, is proposed under:
// "C<n>_<name>_<yyyy-MM-dd_HH-mm-ss>.jpg", the name reduced to characters safe in a file name.
QString SnapshotFileName(int camera, const QString& cameraName, const QDateTime& time);

// The main window's "Snapshot ...": the selected camera's picture under its area rectangle, shown
// in the preview. False, and nothing shown, when the camera has no picture there.
bool RunSnapshot(display::VideoDisplay& display, QWidget* parent);

}  // namespace strixc::tools
