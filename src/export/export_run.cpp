#include "export/export_run.h"

#include <QEventLoop>

namespace strixc::exporting {

ExportRun::ExportRun(archive::ArchiveDatabase* database) : source_(database) {
  source_.SetDisplay(this);
  source_.Open(this, this);
}

ExportRun::~ExportRun() { source_.Close(); }

int ExportRun::Run(const std::string& fileName, int camera, uint64_t from, uint64_t to,
                   playback::ExportWriterFactory factory, const std::function<void(int)>& onProgress) {
  onProgress_ = onProgress;
  result_ = -1;
  finished_ = false;
  source_.SetExportWriterFactory(std::move(factory));
  if (!source_.StartExport(nullptr, fileName, camera, from, to, 0)) return -1;
  // The notifications are queued to this thread: the loop runs until "finished" arrives.
  QEventLoop loop;
  while (!finished_) loop.processEvents(QEventLoop::WaitForMoreEvents);
  return result_;
}

void ExportRun::OnPlaybackStatus(int code, int64_t value) {
  if (code == playback::kStatusExportProgress && onProgress_) onProgress_(static_cast<int>(value));
  if (code == playback::kStatusExportFinished) {
    result_ = static_cast<int>(value);
    finished_ = true;
  }
}

}  // namespace strixc::exporting
