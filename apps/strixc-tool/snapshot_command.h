#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool snapshot --host H --port P --user U --password W --camera C --out FILE.jpg
//                      [--wait SECONDS]
// strixc-tool snapshot ... --camera C --motion L,T,R,B --sensitivity S --frames N [--wait SECONDS]
//
// The first form connects, makes camera C the only visible one, waits for its picture and saves it
// as the operator station's snapshot does; it prints {camera, width, height, time, timeUnits, file}.
// The second prints one JSON line per received frame of camera C with its time, kind, marker and
// motion flag, motion detection set to the area (frame units) and sensitivity given.
// Exit codes as probe's, plus 4 when no picture (or not enough frames) came in time and 5 when the
// file cannot be written.
int RunSnapshot(const QStringList& arguments);

}  // namespace strixc::tool
