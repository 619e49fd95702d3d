#pragma once

// The program's dark theme: the colours every window, dialog and custom control shares.

#include <QColor>
#include <QPalette>

namespace strixc::shell::theme {

constexpr QColor kBackground{0x4A, 0x4F, 0x55};
constexpr QColor kText{0xC1, 0xC5, 0xC8};
constexpr QColor kOutline{0x6F, 0x76, 0x7F};
// The lower and right edges of a window's two-tone border (the upper and left ones are white).
constexpr QColor kBorderShadow{0x94, 0x9E, 0xAA};

// `palette` in the dark theme: background, text, selection and disabled text.
QPalette DarkPalette(QPalette palette);

// Makes the dark theme the application's: every window, popup menu, combo-box list, file dialog
// and tooltip opened after this call uses it. Call on the user-interface thread once the
// QApplication exists.
void ApplyProgramTheme();

}  // namespace strixc::shell::theme
