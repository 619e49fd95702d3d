#pragma once

// The settings tree as a JSON document ("strixc-settings", version 1), the form `strixc-tool
// settings export` writes and `import` reads. Pure functions; any thread.

#include <QByteArray>
#include <QString>

#include "settings/settings_database.h"

namespace strixc::tool {

QByteArray TreeToJson(const settings::Tree& tree);

// Reads a document and checks every part of it: only keys of the program's tree, well-formed
// values of the three kinds, nothing listed twice. False with `problem` saying what is wrong; `tree`
// may then hold part of the document.
bool TreeFromJson(const QByteArray& text, settings::Tree* tree, QString* problem);

}  // namespace strixc::tool
