#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool export DIR... --camera C --from T --to T --out FILE [--fps N] [--codec NAME]
//
// Exports camera C of the local archive in the folders over [T, T] to FILE (AVI, or Matroska or
// MPEG-4 by the extension) through a LocalPlaybackSource in export mode and an AviWriter. Prints
// {"event":"progress","percent":P} whenever the percentage changes, then
// {"file","camera","pictures":M,"frames":N,"width","height","codec","fps","result":R}
// (M pictures given, N frames written with the AVI's repeats; R 0 completed, 2 write error).
//
// Exit codes: 0 result 0; 1 bad command line; 8 a folder is missing or holds no recordings;
// 11 the file could not be written (nothing half-written is left).
int RunExport(const QStringList& arguments);

}  // namespace strixc::tool
