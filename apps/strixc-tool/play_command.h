#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool play DIR... --at T [--camera C] [--cameras LIST]
//     [--mode play|double|fast-forward|fast-backward|step-forward|step-backward | --bookmark next|prev]
//     [--motion C:L,T,R,B:S]... [--frames N] [--seconds S] [--profile DIR]
//
// Plays the local archive in the folders (one archive, each folder a location) through a
// LocalPlaybackSource driven as the archive browser drives it: open, camera mask, seek of camera C
// to T, motion detection, then the mode (or the jump to the next or previous bookmark after T; the
// bookmarks are those of the profile's settings). Prints one JSON line per event as it happens:
//   {"event":"frame","camera":C,"time":..,"timeUnits":N,"wallMs":F}  a picture shown after the
//       mode started (the frame store's time of that camera; F: milliseconds since the mode
//       started, monotonic clock)
//   {"event":"status","code":K,"value":V}, {"event":"position","time":..,"timeUnits":N},
//   {"event":"beep"}                                                  the source's notifications
//   {"event":"end","frames":N,"time":..,"timeUnits":N}                last: the playback position
// Ends after N frames (100), S seconds (30), or when the source stops by itself (status 0 or 5
// after the mode started: end of the archive, motion found, a step taken, a bookmark jump done).
//
// Exit codes: 0 done; 1 bad command line; 8 a folder is missing or holds no readable archive.
int RunPlay(const QStringList& arguments);

}  // namespace strixc::tool
