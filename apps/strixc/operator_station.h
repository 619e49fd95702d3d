#pragma once

#include <string>

#include "settings/settings_database.h"
#include "shell/address_book.h"
#include "station/station.h"
#include "tools/client_settings.h"

namespace strixc::station {

// The station as the operator's program runs it: the Station, plus the client settings and the
// address book of the windows, and the switch's events in the operator's language.
//
// Lives on the user-interface thread.
class OperatorStation : public Station {
  Q_OBJECT

 public:
  // `settings` must outlive the station; `dataFolder` holds the default folders.
  OperatorStation(settings::SettingsDatabase& settings, std::string dataFolder);

  tools::ClientSettings& Client() { return client_; }
  shell::AddressBook& Book() { return book_; }

  // The station's settings, then the client settings (their qualities go to the connection) and
  // the address book.
  void LoadAll() override;
  // The station's settings and the client settings.
  bool SaveAll() override;
  // The client settings' reconnect switch and stale limit, applied to the station.
  void ApplyLinkSettings();

  // The demonstration's simulator listens on `port` (chosen at each start): the address book's
  // entry for it points there whenever the book is loaded. 0: no simulator.
  void SetDemoPort(quint16 port) { demoPort_ = port; }

 private:
  tools::ClientSettings client_;
  shell::AddressBook book_;
  quint16 demoPort_ = 0;
};

}  // namespace strixc::station
