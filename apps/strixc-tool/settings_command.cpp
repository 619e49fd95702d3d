#include "settings_command.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSaveFile>
#include <optional>
#include <string>

#include "command_help.h"
#include "json_writer.h"
#include "settings_json.h"
#include "settings/settings_database.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

using settings::SettingsDatabase;
using settings::Tree;

constexpr int kBadFile = 6;
constexpr int kSettingsUnusable = 7;

// A settings tree is a few kilobytes; anything near this is not one.
constexpr qint64 kMaxFileBytes = 64 << 20;

struct SettingsOptions {
  bool import = false;
  QString file;
  QString profileDir;
};

constexpr CommandHelp kHelp = {
    "settings",
    "strixc-tool settings export FILE [--profile DIR]\n"
    "strixc-tool settings import FILE [--profile DIR]",
    "Copies the operator's whole settings tree to or from a readable JSON file (FILE \"-\" is standard\n"
    "output or input). An import checks the whole file first and replaces the tree in one\n"
    "transaction. Exit codes: 0 done, 1 bad command line, 6 the file cannot be read or written or\n"
    "is not a settings file, 7 the settings file cannot be used or refused the import.",
};

void AddOptions(QCommandLineParser& parser) {
  parser.addOption({"profile", "Profile folder holding settings.sqlite.", "DIR"});
}

std::optional<SettingsOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  const QStringList positional = parser.positionalArguments();
  if (positional.size() != 2 || (positional[0] != "export" && positional[0] != "import")) {
    *error = QStringLiteral("expected 'export FILE' or 'import FILE'");
    return std::nullopt;
  }
  SettingsOptions o;
  o.import = positional[0] == "import";
  o.file = positional[1];
  o.profileDir = parser.value("profile");
  return o;
}

// --- The command ---------------------------------------------------------------------------------

QString Summary(const Tree& tree, const SettingsOptions& o, const SettingsDatabase& db) {
  return JsonObject()
      .Add("keys", static_cast<long long>(tree.keys.size()))
      .Add("values", static_cast<long long>(tree.values.size()))
      .Add("file", o.file)
      .Add("settings", db.Path())
      .Text();
}

int Fail(const QString& verb, int code, const QString& text) {
  PrintLine(QStringLiteral("settings %1: %2").arg(verb, text), true);
  return code;
}

int Export(const SettingsOptions& o, SettingsDatabase& db) {
  const Tree tree = db.Export();
  const QByteArray json = TreeToJson(tree);
  if (o.file == "-") {
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || out.write(json) != json.size() || !out.flush())
      return Fail("export", kBadFile, QStringLiteral("cannot write to standard output"));
    return kOk;
  }
  // The tree holds the address book's passwords: the copy is as private as the settings file.
  QSaveFile file(o.file);
  if (!file.open(QIODevice::WriteOnly) ||
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || file.write(json) != json.size() ||
      !file.commit())
    return Fail("export", kBadFile, QStringLiteral("cannot write %1: %2").arg(o.file, file.errorString()));
  PrintLine(Summary(tree, o, db));
  return kOk;
}

int Import(const SettingsOptions& o, SettingsDatabase& db) {
  QFile file;
  const bool opened = o.file == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                    : (file.setFileName(o.file), file.open(QIODevice::ReadOnly));
  if (!opened) return Fail("import", kBadFile, QStringLiteral("cannot read %1: %2").arg(o.file, file.errorString()));
  const QByteArray text = file.read(kMaxFileBytes + 1);
  if (text.size() > kMaxFileBytes)
    return Fail("import", kBadFile, QStringLiteral("%1 is too large for a settings file").arg(o.file));

  Tree tree;
  QString problem;
  if (!TreeFromJson(text, &tree, &problem)) return Fail("import", kBadFile, problem);
  if (!db.Import(tree))
    return Fail("import", kSettingsUnusable, QStringLiteral("the settings file refused the import; nothing changed"));
  PrintLine(Summary(tree, o, db));
  return kOk;
}

}  // namespace

int RunSettings(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("settings: ") + error, true);
    return kUsage;
  }
  const QString verb = options->import ? QStringLiteral("import") : QStringLiteral("export");
  SettingsDatabase db;
  db.Open(SettingsDatabase::DefaultPath(options->profileDir.toStdString()));
  if (!db.Notice().empty()) PrintLine(QString::fromStdString(db.Notice()), true);
  // Open falls back to a tree in memory when the file cannot be used; exporting or importing that
  // would report a success that touched nothing.
  if (db.InMemory())
    return Fail(verb, kSettingsUnusable, QStringLiteral("the settings file cannot be used; nothing done"));
  // A damaged file was moved aside and an empty one started: exporting that would hand out an
  // empty tree as if it were the operator's settings.
  if (!options->import && db.Problem() == SettingsDatabase::OpenProblem::kMovedAside)
    return Fail(verb, kSettingsUnusable, QStringLiteral("the settings file was damaged; nothing exported"));
  return options->import ? Import(*options, db) : Export(*options, db);
}

}  // namespace strixc::tool
