#include "operator_station.h"

#include "shell/archive_log_words.h"
#include "shell/string_ids.h"
#include "shell/string_table.h"

namespace strixc::station {

OperatorStation::OperatorStation(settings::SettingsDatabase& settings, std::string dataFolder)
    : Station(settings, dataFolder), client_(DataFolder()) {
  SetLogWords(shell::ArchiveLogWords());
  // Looked up at each switch: the operator may change the language while the program runs.
  SetEventText([](bool on) {
    return std::string(shell::Text(on ? shell::text::kRecordingEnabled : shell::text::kRecordingDisabled));
  });
}

void OperatorStation::LoadAll() {
  Station::LoadAll();
  client_.Load(Settings());
  book_.Load(Settings());
  if (demoPort_ != 0) {
    const shell::AddressEntry& simulator = shell::AddressBook::DemoEntry(0);
    for (int i = 0; i < book_.Count(); ++i) {
      shell::AddressEntry entry = book_.Get(i);
      if (entry.name != simulator.name || entry.serverAddress != simulator.serverAddress) continue;
      entry.port = std::to_string(demoPort_);
      book_.Set(i, entry);
    }
  }
  Controller().SetQualities(client_.GetKeyQuality(), client_.GetDeltaQuality());
  Controller().SetTextCodec(client_.ServerTextCodec());
  Display().SetTextCodec(client_.ServerTextCodec());
  ApplyLinkSettings();
}

void OperatorStation::ApplyLinkSettings() {
  SetReconnect(client_.GetReconnect());
  SetStaleSeconds(static_cast<int>(client_.GetStaleSeconds()));
}

bool OperatorStation::SaveAll() {
  bool ok = Station::SaveAll();
  ok = client_.Save(Settings()) && ok;
  return ok;
}

}  // namespace strixc::station
