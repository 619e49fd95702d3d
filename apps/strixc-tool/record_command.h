#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool record --host H --port P --user U --password W --archive DIR --seconds N
//                    [--space-mb N --file-size-mb M]
//
// Records the server's live cameras into the archive in DIR for N seconds, switching recording on
// and off as the operator station's recording button does. When DIR holds no archive files they are
// created first (60 MiB in files of 20 MiB by default, fast formatting). Prints
// {records, bytes, cameras, files}. Exit codes as probe's, plus 9 when the archive cannot be opened
// or nothing could be written.
int RunRecord(const QStringList& arguments);

}  // namespace strixc::tool
