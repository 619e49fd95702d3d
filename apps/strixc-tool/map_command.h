#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool map DIR... --from T --to T --width W [--profile DIR]
//
// Fills an archive map W columns wide for the view [from, to] as the archive browser does (the
// map asks for data, the local playback source answers with FillTimeline) and prints what the map
// holds: {from, fromUnits, to, toUnits, columns, recorded:[W masks], red:[...], yellow:[...],
// bookmarks:[{time, timeUnits, title}]} (bit c of a mask: camera c). Bookmarks come from the
// profile's settings.
//
// Exit codes: 0 done; 1 bad command line; 8 a folder is missing or holds no recordings.
// Needs a QGuiApplication (the map draws its axis with a font); no display.
int RunMap(const QStringList& arguments);

}  // namespace strixc::tool
