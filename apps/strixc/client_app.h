#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace strixc::station {

// What the command line asks of the operator station.
struct CommandLine {
  QStringList parameters;  // at most four plain parameters: user, password, address, port
  QString profile;         // --profile DIR: every per-user file under DIR
  bool demo = false;       // --demo: the embedded simulator, connected at once
  bool record = false;     // --record: recording on once connected, as the button does
  QString screenshot;      // --screenshot FILE: save a picture of the window ...
  int quitAfterSeconds = 0;  // ... after --quit-after SECONDS, then exit
  int demoRecordSeconds = 0;  // --demo-record SECONDS: the demonstration records that long
  QString browse;          // --browse DIR: the archive browser on the archive files in DIR ...
  uint64_t browseAt = 0;   // ... at --at T (an archive time; 0: its latest recording) ...
  int browseLayout = 0;    // ... in --layout L (1..7; 0: the browser's own)
  QString gallery;         // --gallery DIR: render every dialog and control, then exit
  QString helpText;        // --help: print this and exit
  bool version = false;    // --version: print the version and exit
  QString error;           // non-empty: the command line is wrong

  // A start that nobody watches (a control-room PC recording from boot, a headless run): four
  // parameters with --record, or --quit-after. It never waits on a dialog.
  bool Unattended() const { return (parameters.size() == 4 && record) || quitAfterSeconds > 0; }
};

// Reads the command line (arguments()[0] is the program). Plain parameters beyond the fourth are
// ignored. Needs no application object, so that --help and --version work without a display.
CommandLine ParseCommandLine(const QStringList& arguments);

// The start-up of the operator station: language, settings, the main window (and in demo mode the
// simulator), run until the window closes. Returns the exit code.
int RunClientApp(const CommandLine& commandLine);

}  // namespace strixc::station
