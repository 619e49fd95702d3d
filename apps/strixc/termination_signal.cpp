#include "termination_signal.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace strixc::station {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// The pair's write end, for the handler; -1 while no instance is installed.
std::atomic<int> writeEnd{-1};
int readEnd = -1;
struct sigaction previous[sizeof(kSignals) / sizeof(kSignals[0])];

void OnSignal(int signal) {
  const int fd = writeEnd.load();
  if (fd < 0) return;
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // Only async-signal-safe calls here; a full pipe already holds a pending stop.
  [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  errno = saved;
}

}  // namespace

TerminationSignal::TerminationSignal(QObject* parent) : QObject(parent) {
  if (writeEnd.load() >= 0) return;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) return;
  readEnd = pair[0];
  writeEnd.store(pair[1]);
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(kSignals[i], &action, &previous[i]);
  }
  notifier_ = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignal::OnReadable);
}

TerminationSignal::~TerminationSignal() {
  if (notifier_ == nullptr) return;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous[i], nullptr);
  const int fd = writeEnd.exchange(-1);
  delete notifier_;
  ::close(fd);
  ::close(readEnd);
  readEnd = -1;
}

void TerminationSignal::OnReadable() {
  unsigned char byte = 0;
  while (::read(readEnd, &byte, 1) == 1) emit Raised(byte);
}

}  // namespace strixc::station
