#pragma once

#include <QStringList>

namespace strixc::tool {

// strixc-tool backup DIR... --from T --to T --cameras LIST --dest DIR [--file-size-mb M] [--ask]
//
// Copies the recordings of cameras LIST from the local archive in the folders DIR (one archive,
// each folder a location) into a new archive in --dest, as the backup dialog does: each camera from
// its last key frame at or before T through the record at or before --to, into files of M MiB
// (650) numbered after the highest archive file already there. Prints
//   {"event":"progress","source":P,"destination":Q}        every 500 records
//   {"event":"warning","text":..}                           messages of either archive (the copy
//                                                           goes on unless --ask and the answer is no)
//   {"event":"error","text":..}                             a file could not be created or written
//   {"records":N,"files":[..],"result":R,"first":..,"firstUnits":N,"last":..,"lastUnits":N}
// with R "finished", "cancelled" or "failed". Without --ask files are created without questions
// and a folder that does not exist is created; with --ask each question is asked on standard error
// and answered y or n on standard input (end of input answers n).
//
// Exit codes: 0 finished or cancelled by an answer; 1 bad command line or a refusal of the dialog
// ("The time range is empty !", "There is no cam selected !", "Minimum file size is 1MB !" on
// standard error); 8 a folder is missing, holds no recordings or cannot be read; 11 the destination
// cannot be created or written (every file written before stays intact).
int RunBackup(const QStringList& arguments);

}  // namespace strixc::tool
