#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace strixc::net::test {

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`. The limit only
// bounds a failing test: nothing is asserted about how long the wait took.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace strixc::net::test
