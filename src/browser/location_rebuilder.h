#pragma once

// Carries out one location's rebuild plan (ArchiveDatabase::ApplyLocation) on a worker thread, so
// that deleting and formatting archive files never holds up the user-interface thread. The status
// and progress texts and the end of the rebuild come back as queued signals.

#include <QObject>
#include <QString>

#include <mutex>
#include <thread>
#include <vector>

#include "archive/archive_database.h"

namespace strixc::browser {

// Lives on the user-interface thread; one rebuild at a time. `database` must outlive the
// rebuilder. While a rebuild runs the database is busy (ApplyLocation holds its lock throughout):
// callers on the user-interface thread keep off it until Finished. The destructor waits for a
// running rebuild; its signals are then never delivered.
class LocationRebuilder : public QObject {
  Q_OBJECT

 public:
  explicit LocationRebuilder(archive::ArchiveDatabase& database, QObject* parent = nullptr);
  ~LocationRebuilder() override;

  // Starts ApplyLocation(index, ...) on the worker; false (nothing started) while one runs.
  bool Start(int index, std::vector<archive::ArchiveFileInfo> deleteList,
             std::vector<archive::ArchiveFileInfo> createList, bool fastFormatting);

 signals:
  // The database's status text (what is deleted or created, and how far): one per step. The
  // formatting progress of the current file ("%dMB", empty when a file is done) comes a MiB at a
  // time; a slow window gets the latest only, never a backlog.
  void StatusChanged(const QString& text);
  void ProgressChanged(const QString& text);
  // ApplyLocation returned; its failures are in the database's message log.
  void Finished(bool applied);

 private:
  void OnDone(bool applied);
  // The worker's side of the progress text, and the window's.
  void PostProgress(const std::string& text);
  void DeliverProgress();

  archive::ArchiveDatabase& database_;
  std::thread worker_;
  bool running_ = false;

  std::mutex progressLock_;
  // Guarded by progressLock_:
  std::string progress_;
  bool progressPosted_ = false;
};

}  // namespace strixc::browser
