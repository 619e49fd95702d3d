#pragma once

#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <mutex>
#include <utility>

namespace strixc::net {

// Runs calls posted from any thread on the thread this object lives on, in the order they were
// posted; calls still queued when it is destroyed are dropped.
//
// Qt's event queue orders a poster before the receiving thread through its own futex-based locks,
// which a thread checker cannot see: a call's captured values would look written by one thread and
// read by another without any order. Posting and receiving both pass through lock_, an ordinary
// mutex the checker does see, so that order is visible and a real race inside a call is still
// reported. The lock is never held while a call runs, so a call may post again.
class CallContext : public QObject {
 public:
  explicit CallContext(QObject* parent = nullptr) : QObject(parent) {}

  // Any thread.
  template <typename Call>
  void Post(Call&& call) {
    std::lock_guard<std::mutex> posting(lock_);
    QMetaObject::invokeMethod(this, std::forward<Call>(call), Qt::QueuedConnection);
  }

 protected:
  bool event(QEvent* e) override {
    { std::lock_guard<std::mutex> received(lock_); }
    return QObject::event(e);
  }

 private:
  std::mutex lock_;
};

}  // namespace strixc::net
