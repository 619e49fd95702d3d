#pragma once

#include <string>

namespace strixc::tools {

// The folder that holds the operator's own files (default archive and export folders):
// `profileDir` when given, else $XDG_DATA_HOME/strixc, else ~/.local/share/strixc. Nothing is
// created here.
std::string DataFolder(const std::string& profileDir = std::string());

}  // namespace strixc::tools
