#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool play DIR... --at T [--camera C] [--cameras LIST]
//     [--mode play|double|fast-forward|fast-backward|step-forward|step-backward | --bookmark next|prev]
//     [--motion C:L,T,R,B:S]... [--frames N] [--seconds S] [--profile DIR]
// strixc-tool play --host H --port P --user U --password W [--encoding NAME] --at T [the same options]
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
// With --host the server's archive plays through a RemotePlaybackSource (RemoteArchiveSession):
// the same events, times on the archive's clock as for a local archive; the run waits for the
// server's answer to the seek (and to a bookmark jump) before it goes on.
//
// Exit codes: 0 done; 1 bad command line (folders and --host together, or neither); 2 login
// refused; 3 connection broken or timed out; 8 a folder is missing or holds no readable archive,
// or the server's archive holds no recordings.
int RunPlay(const QStringList& arguments);

}  // namespace strixc::tool
