#include "export/dialogs/export_gallery_pages.h"

#include <memory>

#include "archive/archive_time.h"
#include "export/dialogs/compression_dialog.h"
#include "export/dialogs/export_dialog.h"
#include "export/dialogs/export_progress_window.h"

namespace strixc::exporting {

namespace {

std::unique_ptr<QWidget> ExportDialogPage() {
  const uint64_t start = *archive::TimeOfFields({2026, 3, 14, 8, 0, 0, 0});
  const uint64_t end = *archive::TimeOfFields({2026, 3, 14, 9, 30, 0, 0});
  const QString remembered = ExportDialog::LastFileName();
  ExportDialog::SetLastFileName(QStringLiteral("/home/operator/evidence/gate_0314.avi"));
  auto dialog = std::make_unique<ExportDialog>(2, QStringLiteral("Gate"), start, end);
  ExportDialog::SetLastFileName(remembered);
  return dialog;
}

std::unique_ptr<QWidget> CompressionPage() {
  ExportCompression initial;
  initial.codec = "mjpeg";
  initial.quality = 85;
  initial.keyFrameInterval = 25;
  return std::make_unique<CompressionDialog>(Container::kAvi, initial);
}

std::unique_ptr<QWidget> ProgressPage() {
  auto window = std::make_unique<ExportProgressWindow>(nullptr);
  window->SetPercent(42);
  return window;
}

}  // namespace

std::vector<shell::GalleryPage> ExportGalleryPages() {
  return {
      {QStringLiteral("export_dialog"), ExportDialogPage},
      {QStringLiteral("export_compression"), CompressionPage},
      {QStringLiteral("export_progress"), ProgressPage},
  };
}

}  // namespace strixc::exporting
