#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>

namespace strixc::tool {

// What one command of strixc-tool tells about itself in `strixc-tool COMMAND --help`.
struct CommandHelp {
  const char* name;         // "probe"
  const char* usage;        // its forms, one a line, each starting "strixc-tool NAME"
  const char* description;  // what it does, what it prints, its exit codes
};

// Parses `arguments` (the program name first, then the command's own arguments) with the command's
// options already in `parser`, adding --help and --version. Returns the exit code to end with at
// once: kOk after printing the help or the version on standard output, kUsage after printing
// "NAME: error" on standard error. Returns std::nullopt when the command goes on and reads its
// options from `parser`. Needs no connection, no display and no settings file.
std::optional<int> ParseCommand(QCommandLineParser& parser, const QStringList& arguments, const CommandHelp& help);

// The help text of `parser` with `usage` in place of Qt's first line, which names the program by
// the path it was started with and knows nothing of commands or of the forms of one.
QString HelpText(const QCommandLineParser& parser, const QString& usage);

// "strixc-tool 1.0".
QString VersionText();

}  // namespace strixc::tool
