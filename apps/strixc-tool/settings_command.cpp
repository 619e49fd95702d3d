#include "settings_command.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStringDecoder>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "json_writer.h"
#include "settings/settings_database.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

using settings::SettingsDatabase;
using settings::Tree;
using settings::TreeValue;
using settings::ValueKind;

constexpr int kBadFile = 6;
constexpr int kSettingsUnusable = 7;

constexpr char kFormat[] = "strixc-settings";
constexpr int kFormatVersion = 1;
// A settings tree is a few kilobytes; anything near this is not one.
constexpr qint64 kMaxFileBytes = 64 << 20;

struct SettingsOptions {
  bool import = false;
  QString file;
  QString profileDir;
};

std::optional<SettingsOptions> ParseOptions(const QStringList& arguments, QString* error) {
  QCommandLineParser parser;
  parser.addOption({"profile", "Profile folder holding settings.sqlite.", "DIR"});
  if (!parser.parse(arguments)) {
    *error = parser.errorText();
    return std::nullopt;
  }
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

// --- Tree to JSON -------------------------------------------------------------------------------

QString Hex(const std::string& bytes) {
  return QString::fromLatin1(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex());
}

// The text of a string value when its bytes are exactly UTF-8 text and one terminating zero, the
// form every string the station writes has; std::nullopt otherwise.
std::optional<QString> ReadableString(const std::string& data) {
  if (data.empty() || data.back() != '\0') return std::nullopt;
  const std::string text = data.substr(0, data.size() - 1);
  if (text.find('\0') != std::string::npos) return std::nullopt;
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
  const QString s = decoder(QByteArray::fromStdString(text));
  if (decoder.hasError() || s.toStdString() != text) return std::nullopt;
  return s;
}

QJsonObject ValueToJson(const TreeValue& v) {
  QJsonObject o;
  o["key"] = QString::fromStdString(v.path);
  o["name"] = QString::fromStdString(v.name);
  switch (v.kind) {
    case ValueKind::kDword:
      o["kind"] = "dword";
      if (v.data.size() == 4) {
        const auto* b = reinterpret_cast<const uint8_t*>(v.data.data());
        o["value"] = static_cast<double>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
      } else {
        o["data"] = Hex(v.data);
      }
      break;
    case ValueKind::kString:
      o["kind"] = "string";
      if (const auto text = ReadableString(v.data)) {
        o["value"] = *text;
      } else {
        o["data"] = Hex(v.data);
      }
      break;
    default:
      // Binary, and any kind the station never writes: its bytes are kept as a block.
      o["kind"] = "binary";
      o["value"] = Hex(v.data);
      break;
  }
  return o;
}

QByteArray TreeToJson(const Tree& tree) {
  QJsonArray keys;
  for (const std::string& key : tree.keys) keys.append(QString::fromStdString(key));
  QJsonArray values;
  for (const TreeValue& v : tree.values) values.append(ValueToJson(v));
  QJsonObject root;
  root["format"] = kFormat;
  root["version"] = kFormatVersion;
  root["keys"] = keys;
  root["values"] = values;
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

// --- JSON to tree, every part checked ------------------------------------------------------------

std::string FoldCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool WellFormedPath(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
  return path.find("\\\\") == std::string::npos;
}

// The program key or a key below it; with `orAbove`, also one of the program key's ancestors,
// which every tree holds as keys.
bool InProgramTree(const std::string& path, bool orAbove) {
  const std::string program = FoldCase(SettingsDatabase::kProgramKey);
  const std::string folded = FoldCase(path);
  if (!WellFormedPath(path)) return false;
  if (folded == program) return true;
  if (folded.size() > program.size()) return folded.compare(0, program.size(), program) == 0 && folded[program.size()] == '\\';
  return orAbove && program.compare(0, folded.size(), folded) == 0 && program[folded.size()] == '\\';
}

bool FromHex(const QString& text, std::string* bytes) {
  if (text.size() % 2 != 0) return false;
  for (QChar c : text)
    if (!std::isxdigit(c.unicode() < 128 ? c.unicode() : 'x')) return false;
  *bytes = QByteArray::fromHex(text.toLatin1()).toStdString();
  return true;
}

// Reads one entry of "values"; false with `problem` naming what is wrong.
bool ValueFromJson(const QJsonValue& json, TreeValue* v, QString* problem) {
  if (!json.isObject()) {
    *problem = QStringLiteral("must be an object");
    return false;
  }
  const QJsonObject o = json.toObject();
  for (const QString& member : o.keys()) {
    if (member != "key" && member != "name" && member != "kind" && member != "value" && member != "data") {
      *problem = QStringLiteral("unknown member '%1'").arg(member);
      return false;
    }
  }
  v->path = o.value("key").toString().toStdString();
  if (!o.value("key").isString() || !InProgramTree(v->path, false)) {
    *problem = QStringLiteral("key must be %1 or a key below it").arg(QString::fromUtf8(SettingsDatabase::kProgramKey));
    return false;
  }
  v->name = o.value("name").toString().toStdString();
  if (!o.value("name").isString() || v->name.empty()) {
    *problem = QStringLiteral("name must be a non-empty string");
    return false;
  }
  const QString kind = o.value("kind").toString();
  if (kind == "dword") {
    v->kind = ValueKind::kDword;
  } else if (kind == "string") {
    v->kind = ValueKind::kString;
  } else if (kind == "binary") {
    v->kind = ValueKind::kBinary;
  } else {
    *problem = QStringLiteral("kind must be dword, string or binary");
    return false;
  }
  const bool hasValue = o.contains("value");
  const bool hasData = o.contains("data");
  if (hasValue == hasData || (hasData && v->kind == ValueKind::kBinary)) {
    *problem = v->kind == ValueKind::kBinary ? QStringLiteral("a binary value needs 'value' (and no 'data')")
                                             : QStringLiteral("needs exactly one of 'value' and 'data'");
    return false;
  }
  if (hasData || v->kind == ValueKind::kBinary) {
    const QJsonValue hex = o.value(hasData ? "data" : "value");
    if (!hex.isString() || !FromHex(hex.toString(), &v->data)) {
      *problem = QStringLiteral("%1 must be hexadecimal digits in pairs").arg(hasData ? "data" : "value");
      return false;
    }
    return true;
  }
  const QJsonValue value = o.value("value");
  if (v->kind == ValueKind::kDword) {
    const double d = value.toDouble(-1);
    if (!value.isDouble() || d < 0 || d > 4294967295.0 || d != std::floor(d)) {
      *problem = QStringLiteral("a dword value must be a whole number from 0 to 4294967295");
      return false;
    }
    const auto n = static_cast<uint32_t>(d);
    v->data = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16), static_cast<char>(n >> 24)};
    return true;
  }
  if (!value.isString() || value.toString().contains(QChar(0))) {
    *problem = QStringLiteral("a string value must be a string without zero characters");
    return false;
  }
  v->data = value.toString().toStdString();
  v->data.push_back('\0');
  return true;
}

bool TreeFromJson(const QByteArray& text, Tree* tree, QString* problem) {
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    *problem = QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
    return false;
  }
  if (!document.isObject()) {
    *problem = QStringLiteral("not a settings file: the top level must be an object");
    return false;
  }
  const QJsonObject root = document.object();
  for (const QString& member : root.keys()) {
    if (member != "format" && member != "version" && member != "keys" && member != "values") {
      *problem = QStringLiteral("unknown member '%1'").arg(member);
      return false;
    }
  }
  if (root.value("format").toString() != kFormat) {
    *problem = QStringLiteral("format must be \"%1\"").arg(kFormat);
    return false;
  }
  if (!root.value("version").isDouble() || root.value("version").toDouble() != kFormatVersion) {
    *problem = QStringLiteral("version must be %1").arg(kFormatVersion);
    return false;
  }
  if (!root.value("keys").isArray() || !root.value("values").isArray()) {
    *problem = QStringLiteral("keys and values must be arrays");
    return false;
  }

  const QJsonArray keys = root.value("keys").toArray();
  std::set<std::string> seenKeys;
  for (qsizetype i = 0; i < keys.size(); ++i) {
    const std::string path = keys[i].toString().toStdString();
    if (!keys[i].isString() || !InProgramTree(path, true)) {
      *problem = QStringLiteral("key %1: must be %2, a key below it or one above it")
                     .arg(i)
                     .arg(QString::fromUtf8(SettingsDatabase::kProgramKey));
      return false;
    }
    if (!seenKeys.insert(FoldCase(path)).second) {
      *problem = QStringLiteral("key %1: listed twice").arg(i);
      return false;
    }
    tree->keys.push_back(path);
  }

  const QJsonArray values = root.value("values").toArray();
  std::set<std::pair<std::string, std::string>> seenValues;
  for (qsizetype i = 0; i < values.size(); ++i) {
    TreeValue v;
    QString why;
    if (!ValueFromJson(values[i], &v, &why)) {
      *problem = QStringLiteral("value %1: %2").arg(i).arg(why);
      return false;
    }
    if (!seenValues.insert({FoldCase(v.path), FoldCase(v.name)}).second) {
      *problem = QStringLiteral("value %1: a value of that key and name comes earlier").arg(i);
      return false;
    }
    tree->values.push_back(std::move(v));
  }
  return true;
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
  QString error;
  const auto options = ParseOptions(arguments, &error);
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
