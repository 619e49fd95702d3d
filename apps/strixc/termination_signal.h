#pragma once

#include <QObject>

class QSocketNotifier;

namespace strixc::station {

// Turns SIGTERM and SIGINT into a Qt signal on the user-interface thread, so that a stop asked by
// the system (shutdown, service manager, kill) ends the program as Exit does: settings and the
// window placement saved. The handler only writes one byte into a pipe; everything else happens
// when the event loop reads it.
//
// One instance at a time; made and destroyed on the user-interface thread. The destructor puts
// the signals' previous handlers back.
class TerminationSignal : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignal(QObject* parent = nullptr);
  ~TerminationSignal() override;

  // False when the pipe or the handlers could not be set up (the signals then end the program
  // as before).
  bool Installed() const { return notifier_ != nullptr; }

 signals:
  void Raised(int signal);

 private:
  void OnReadable();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace strixc::station
