#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool record --host H --port P --user U --password W --archive DIR --seconds N
//                    [--space-mb N --file-size-mb M]
//
// Records the server's live cameras into the archive in DIR for N seconds through the operator
// station's own Station and its recording switch. When DIR holds no archive files they are created
// first (by default with the sizes of the station's first-start archive, fast formatting). Prints
// {records, bytes, cameras, files}. Exit codes as probe's, plus 9 when the archive cannot be opened
// or nothing could be written.
int RunRecord(const QStringList& arguments);

}  // namespace strixc::tool
