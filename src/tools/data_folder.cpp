#include "tools/data_folder.h"

#include <cstdlib>

namespace strixc::tools {

std::string DataFolder(const std::string& profileDir) {
  if (!profileDir.empty()) return profileDir;
  // A relative XDG_DATA_HOME is invalid by the base-directory rules and is ignored.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/strixc";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.local/share/strixc";
}

}  // namespace strixc::tools
