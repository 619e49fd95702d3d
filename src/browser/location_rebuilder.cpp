#include "browser/location_rebuilder.h"

#include <QMetaObject>

#include <utility>

namespace strixc::browser {

LocationRebuilder::LocationRebuilder(archive::ArchiveDatabase& database, QObject* parent)
    : QObject(parent), database_(database) {}

LocationRebuilder::~LocationRebuilder() {
  // The worker posts to this object: it ends before the object goes, and Qt drops what it posted.
  if (worker_.joinable()) worker_.join();
}

bool LocationRebuilder::Start(int index, std::vector<archive::ArchiveFileInfo> deleteList,
                              std::vector<archive::ArchiveFileInfo> createList, bool fastFormatting) {
  if (running_) return false;
  if (worker_.joinable()) worker_.join();
  running_ = true;
  worker_ = std::thread([this, index, deleteList = std::move(deleteList), createList = std::move(createList),
                         fastFormatting] {
    // Texts go to the user-interface thread as queued calls; the worker never touches a widget.
    const auto status = [this](const std::string& text) {
      QMetaObject::invokeMethod(
          this, [this, t = QString::fromStdString(text)] { emit StatusChanged(t); }, Qt::QueuedConnection);
    };
    const auto progress = [this](const std::string& text) { PostProgress(text); };
    const bool applied = database_.ApplyLocation(index, deleteList, createList, status, progress, fastFormatting);
    QMetaObject::invokeMethod(this, [this, applied] { OnDone(applied); }, Qt::QueuedConnection);
  });
  return true;
}

void LocationRebuilder::PostProgress(const std::string& text) {
  std::lock_guard<std::mutex> guard(progressLock_);
  progress_ = text;
  if (progressPosted_) return;
  progressPosted_ = true;
  QMetaObject::invokeMethod(this, &LocationRebuilder::DeliverProgress, Qt::QueuedConnection);
}

void LocationRebuilder::DeliverProgress() {
  std::string text;
  {
    std::lock_guard<std::mutex> guard(progressLock_);
    text = progress_;
    progressPosted_ = false;
  }
  emit ProgressChanged(QString::fromStdString(text));
}

void LocationRebuilder::OnDone(bool applied) {
  worker_.join();
  running_ = false;
  emit Finished(applied);
}

}  // namespace strixc::browser
