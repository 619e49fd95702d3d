#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool map DIR... --from T --to T --width W [--profile DIR]
// strixc-tool map --host H --port P --user U --password W [--encoding NAME] --from T --to T --width W
//     [--bookmark-add T=TITLE]... [--bookmark-remove T]...
//
// Fills an archive map W columns wide for the view [from, to] as the archive browser does (the
// map asks for data, the local playback source answers with FillTimeline) and prints what the map
// holds: {from, fromUnits, to, toUnits, columns, recorded:[W masks], red:[...], yellow:[...],
// bookmarks:[{time, timeUnits, title}]} (bit c of a mask: camera c). Bookmarks come from the
// profile's settings. With --host a RemotePlaybackSource of the server answers instead (the map,
// then the title of each marker, come later from the network thread; the command waits for them);
// the bookmark options first edit the server's list through the control channel.
//
// Exit codes: 0 done; 1 bad command line; 2 login refused; 3 connection broken or timed out, or no
// map came in time; 5 the server refused a bookmark edit; 8 a folder is missing or the archive
// holds no recordings.
// Needs a QGuiApplication (the map draws its axis with a font); no display.
int RunMap(const QStringList& arguments);

}  // namespace strixc::tool
