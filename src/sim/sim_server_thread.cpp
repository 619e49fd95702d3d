#include "sim/sim_server_thread.h"

#include <QMetaObject>

namespace strixc::sim {

SimServerThread::SimServerThread(SimConfig config) : server_(std::make_unique<SimServer>(std::move(config))) {
  thread_.setObjectName(QStringLiteral("strixc-sim"));
}

SimServerThread::~SimServerThread() { Stop(); }

bool SimServerThread::Start() {
  if (thread_.isRunning()) return true;
  server_->moveToThread(&thread_);
  thread_.start();
  bool ok = false;
  SimServer* server = server_.get();
  QMetaObject::invokeMethod(
      server,
      [server, &ok, this] {
        ok = server->Start();
        if (!ok) errorText_ = server->ErrorText();
      },
      Qt::BlockingQueuedConnection);
  if (!ok) Stop();
  return ok;
}

void SimServerThread::Stop() {
  if (!thread_.isRunning()) return;
  SimServer* server = server_.get();
  QThread* owner = QThread::currentThread();
  // The server closes its sessions on its own thread, then hands itself back, so that it can be
  // inspected and finally destroyed here once the thread has ended.
  QMetaObject::invokeMethod(
      server,
      [server, owner] {
        server->Stop();
        server->moveToThread(owner);
      },
      Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
}

}  // namespace strixc::sim
