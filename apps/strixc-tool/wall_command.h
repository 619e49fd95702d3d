#pragma once

#include <QCommandLineParser>
#include <QStringList>

namespace strixc::tool {

// strixc-tool snapshot --wall FILE.png --layout L --size WxH: the whole video area of a layout,
// composed offscreen with its overlays as the operator station shows it.
int RunWallSnapshot(const QStringList& arguments);

// --wall, --layout and --size, for the help of the other snapshot forms as well.
void AddWallOptions(QCommandLineParser& parser);

}  // namespace strixc::tool
