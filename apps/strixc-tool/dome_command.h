#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool dome --host H --port P --user U --password W --camera C ACTION [ARGS]
//
// Connects as the operator station does, sends one dome request for camera C through the same
// command set, request queue and control-channel link as the station's dome controls, waits for
// its reply and prints {"camera":C,"command":CODE,"reply":BYTE}. Exit codes as probe's: 0 answered,
// 1 bad usage, 2 login refused, 3 connection broken or the request not answered in time.
int RunDome(const QStringList& arguments);

}  // namespace strixc::tool
