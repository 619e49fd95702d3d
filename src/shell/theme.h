#pragma once

// The program's dark theme: the colours every window, dialog and custom control shares.

#include <QColor>

namespace strixc::shell::theme {

constexpr QColor kBackground{0x4A, 0x4F, 0x55};
constexpr QColor kText{0xC1, 0xC5, 0xC8};
constexpr QColor kOutline{0x6F, 0x76, 0x7F};

}  // namespace strixc::shell::theme
