#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool probe --host H --port P --user U --password W [--set-output N=0|1] [--watch SECONDS]
//
// Connects as the operator station does, prints the server's configuration as one JSON object,
// optionally switches an output, optionally prints every server event and input/output change as
// one JSON line for SECONDS, then disconnects. Exit codes: 0 done, 1 bad usage, 2 login refused or
// protocol version not supported, 3 connection broken, timed out or failed.
int RunProbe(const QStringList& arguments);

}  // namespace strixc::tool
