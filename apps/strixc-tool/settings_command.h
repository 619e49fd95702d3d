#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool settings export FILE [--profile DIR]
// strixc-tool settings import FILE [--profile DIR]
//
// Copies the operator's whole settings tree (DIR/settings.sqlite, or the default settings file) to
// or from a readable JSON file; FILE "-" is standard output or input. The format is described in
// docs/settings.md. An import checks the whole file first and changes nothing when any part of it
// is wrong; otherwise it replaces the tree in one transaction. Both print
// {"keys":N,"values":M,"file":...,"settings":...} when done (an export to "-" prints only the tree).
// Exit codes: 0 done, 1 bad usage, 6 the file cannot be read, written or is not a valid settings
// file, 7 the settings file cannot be used or refused the import.
int RunSettings(const QStringList& arguments);

}  // namespace strixc::tool
