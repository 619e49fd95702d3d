#pragma once

#include "archive/archive_message_log.h"

namespace strixc::shell {

// The archive log summary's counted lines ("There were 5 errors and 1 warning ...", "and 12 more
// messages not displayed") in the applied language, each count by its language's plural rule. Any
// thread may call the words.
archive::ArchiveMessageLog::SummaryWords ArchiveLogWords();

}  // namespace strixc::shell
