#pragma once

// Names of the program's texts (string_table.h). Resource-numbered texts keep their number; the
// others count up from kOwnTextBase.

#include "shell/string_table.h"

namespace strixc::shell::text {

// Message box buttons.
constexpr int kYes = 451;
constexpr int kNo = 452;
constexpr int kCancel = 453;
constexpr int kOk = 454;

// Language choice.
constexpr int kRestartForLanguage = 369;
constexpr int kArchiveSpan = 144;  // "Archive:\r\n%d day(s)\r\n%d hour(s)"

// Our own numbers.
constexpr int kProgramName = kOwnTextBase + 0;          // "Strix-C"
constexpr int kLanguageNotAdded = kOwnTextBase + 1;     // "This language was not added yet !"
constexpr int kProgramSettings = kOwnTextBase + 2;      // "Program settings"
constexpr int kLanguage = kOwnTextBase + 3;             // "Language"
constexpr int kKeyEnd = kOwnTextBase + 4;
constexpr int kKeyHome = kOwnTextBase + 5;
constexpr int kKeyLeft = kOwnTextBase + 6;
constexpr int kKeyUp = kOwnTextBase + 7;
constexpr int kKeyRight = kOwnTextBase + 8;
constexpr int kKeyDown = kOwnTextBase + 9;
constexpr int kKeyInsert = kOwnTextBase + 10;
constexpr int kKeyDelete = kOwnTextBase + 11;
constexpr int kUntitled = kOwnTextBase + 12;            // "Untitled"

}  // namespace strixc::shell::text
