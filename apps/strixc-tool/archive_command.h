#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool archive create DIR --space-mb N --file-size-mb M [--fast] [--min-file-number K] [--yes]
// strixc-tool archive info DIR...
// strixc-tool archive verify DIR...
// strixc-tool archive dump DIR... [--camera C] [--from T] [--to T]
//
// The folders given to info, verify and dump form one archive, each folder a location. Times are
// local YYYY-MM-DDTHH:MM:SS[.fff] or raw archive units @N; the JSON gives each time as text and as
// units ("time" and "timeUnits"), a time of 0 (none) as "" and 0.
//
// create makes DIR a location of N MiB in files of M MiB and rebuilds it: prints the rebuild's
//   status and the formatting progress on standard error, then
//   {location, files:[{path, number, length}], created, deleted}. When the rebuild would delete
//   recordings it prints the loss warning on standard error and, without --yes, changes nothing.
// info prints {earliest, earliestUnits, latest, latestUnits, cameraMask, totalSize, usedSize,
//   files:[{path, number, firstTime, firstTimeUnits, lastTime, lastTimeUnits, length, cameraMask,
//   recordCount}]}, files in time order, empty ones last.
// verify checks every structure of every archive file (ArchiveVerifier) and prints one line
//   {file, offset, problem} per violation.
// dump prints one line per record in time order: {time, timeUnits, camera, type, size, keyTime,
//   keyTimeUnits, file, offset} and, for event records, {event: "set"|"clear", text}.
//
// Exit codes: 0 done; 1 bad command line; 8 verify found violations; 9 create would lose
// recordings and --yes was not given; 10 a folder is missing or the rebuild failed.
int RunArchive(const QStringList& arguments);

}  // namespace strixc::tool
