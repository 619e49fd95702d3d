#pragma once

#include <QThread>
#include <memory>

#include "sim/sim_config.h"
#include "sim/sim_server.h"

namespace strixc::sim {

// Runs a SimServer on a thread of its own, so that a test (or the operator station's demo mode)
// can block on the calling thread while the server serves.
//
// Start, Stop and the destructor are called from one thread, the owner's. Between Start and Stop
// the server must be reached only through its "any thread" functions; after Stop the server
// belongs to the owner's thread again and keeps its state for inspection.
class SimServerThread {
 public:
  explicit SimServerThread(SimConfig config);
  ~SimServerThread();

  SimServerThread(const SimServerThread&) = delete;
  SimServerThread& operator=(const SimServerThread&) = delete;

  // Starts the thread and the server on it; returns once both ports listen. False when they
  // cannot be opened (ErrorText says why); the thread is stopped again then.
  bool Start();
  // Closes every client, stops listening and joins the thread. Does nothing when not running.
  void Stop();

  SimServer& Server() { return *server_; }
  quint16 VideoPort() const { return server_->VideoPort(); }
  quint16 ControlPort() const { return server_->ControlPort(); }
  QString ErrorText() const { return errorText_; }

 private:
  QThread thread_;
  std::unique_ptr<SimServer> server_;
  QString errorText_;
};

}  // namespace strixc::sim
