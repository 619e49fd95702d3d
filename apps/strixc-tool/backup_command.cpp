#include "backup_command.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_backup.h"
#include "archive/archive_database.h"
#include "archive_folders.h"
#include "command_help.h"
#include "json_writer.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

using archive::ArchiveBackup;

constexpr int kArchiveMissing = 8;
constexpr int kWriteFailed = 11;
// Archive file lengths travel in 32-bit fields elsewhere in the station.
constexpr qint64 kMaxFileMiB = 2047;

constexpr CommandHelp kHelp = {
    "backup",
    "strixc-tool backup DIR... --from T --to T --cameras LIST --dest DIR [--file-size-mb M] [--ask]",
    "Copies the recordings of the cameras LIST (e.g. 0,2,5) in the period T..T from the local archive\n"
    "in the folders DIR (one archive, each folder a location) into a new archive in --dest, as the\n"
    "backup dialog does: each camera from its last key frame at or before --from through the record\n"
    "at --to, into files of M MiB (default 650) numbered after the highest archive file already in\n"
    "the folder. Prints {\"event\":\"progress\",\"source\",\"destination\"} every 500 records, the\n"
    "archives' messages as {\"event\":\"warning\",\"text\"} (the copy goes on), failures as\n"
    "{\"event\":\"error\",\"text\"}, and last {\"records\",\"files\",\"result\",\"first\",\"last\"} with\n"
    "result finished, cancelled or failed. Without --ask files and a missing --dest folder are created\n"
    "without questions; with --ask every question of the dialog is asked on standard error and\n"
    "answered y or n on standard input. Times T are local YYYY-MM-DDTHH:MM:SS[.fff] or @UNITS. Exit\n"
    "codes: 0 finished or cancelled, 1 bad command line or a refusal (\"The time range is empty !\",\n"
    "\"There is no cam selected !\", \"Minimum file size is 1MB !\"), 8 a folder is missing or holds no\n"
    "readable recordings, 11 the destination cannot be created or written.",
};

void AddOptions(QCommandLineParser& parser) {
  parser.addOptions({
      {"from", "Start of the period: local time, or @UNITS of the archive.", "T"},
      {"to", "End of the period (a record at exactly T is copied).", "T"},
      {"cameras", "The cameras to copy, e.g. 0,2,5.", "LIST"},
      {"dest", "The folder of the new archive.", "DIR"},
      {"file-size-mb", "Size of every new archive file in MiB (default 650, at least 1).", "M"},
      {"ask", "Ask before each new file and about the archives' messages, on the terminal."},
  });
}

// A refusal of the dialog: its own text on standard error.
int Refuse(const char* text) {
  PrintLine(QString::fromUtf8(text), true);
  return kUsage;
}

bool AskTerminal(const std::string& question) {
  std::fprintf(stderr, "%s [y/n] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// The dialog's questions without the dialog: on the terminal with --ask, otherwise answered so that
// the copy goes on and nothing waits for a person.
class CommandListener : public ArchiveBackup::Listener {
 public:
  explicit CommandListener(bool ask) : ask_(ask) {}

  bool Ask(ArchiveBackup::Question question, const std::string& text) override {
    switch (question) {
      case ArchiveBackup::Question::kCreateFile:
        return !ask_ || AskTerminal("Create file '" + text + "' ?");
      case ArchiveBackup::Question::kCancelOperation:
        return !ask_ || AskTerminal("Cancel the operation ?");
      case ArchiveBackup::Question::kSourceMessages:
      case ArchiveBackup::Question::kDestinationMessages:
        PrintLine(JsonObject().Add("event", "warning").Add("text", text).Text());
        return !ask_ || AskTerminal("Continue ?");
    }
    return false;
  }
  void Show(const std::string& text) override {
    PrintLine(JsonObject().Add("event", "error").Add("text", text).Text());
  }
  void SetStatus(ArchiveBackup::Status) override {}
  void Progress(uint64_t, int source, int destination) override {
    PrintLine(JsonObject().Add("event", "progress").Add("source", source).Add("destination", destination).Text());
  }

 private:
  const bool ask_;
};

}  // namespace

int RunBackup(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  const auto usage = [](const QString& text) {
    PrintLine(QStringLiteral("backup: ") + text, true);
    return kUsage;
  };
  QString error;
  std::vector<std::string> folders;
  if (parser.positionalArguments().isEmpty()) return usage(QStringLiteral("expected an archive folder"));
  if (!ReadArchiveFolders(parser.positionalArguments(), &folders, &error)) return usage(error);
  for (const char* name : {"from", "to", "dest"}) {
    if (!parser.isSet(QString::fromUtf8(name))) return usage(QStringLiteral("missing --%1").arg(QString::fromUtf8(name)));
  }
  ArchiveBackup::Options o;
  if (!ReadArchiveTimeOption(parser, "from", &o.from, &error) || !ReadArchiveTimeOption(parser, "to", &o.to, &error)) {
    return usage(error);
  }
  if (parser.isSet("cameras") && !parser.value("cameras").isEmpty()) {
    for (const QString& item : parser.value("cameras").split(QLatin1Char(','))) {
      bool ok = false;
      const int c = item.trimmed().toInt(&ok);
      if (!ok || c < 0 || c >= ArchiveBackup::kCameras) {
        return usage(QStringLiteral("--cameras takes camera numbers 0..15 separated by commas"));
      }
      o.cameraMask |= 1u << c;
    }
  }
  o.destination = parser.value("dest").toStdString();
  const bool ask = parser.isSet("ask");
  o.askBeforeFile = ask;
  // The dialog's checks, in its order: the period, the cameras, the folder, the size.
  if (o.to <= o.from) return Refuse("The time range is empty !");
  if (o.cameraMask == 0) return Refuse("There is no cam selected !");
  if (o.destination.empty()) return Refuse("There is no destination directory selected !");
  std::error_code ec;
  if (!std::filesystem::is_directory(o.destination, ec)) {
    if (ask && !AskTerminal("Directory '" + o.destination + "' does not exist.\n Do you want to create it ?")) {
      return kOk;
    }
    if (!std::filesystem::create_directories(o.destination, ec) && !std::filesystem::is_directory(o.destination)) {
      PrintLine(QStringLiteral("Can't create directory ! \n %1").arg(QString::fromStdString(ec.message())), true);
      return kWriteFailed;
    }
  }
  if (parser.isSet("file-size-mb")) {
    bool ok = false;
    const qint64 mb = parser.value("file-size-mb").trimmed().toLongLong(&ok);
    if (!ok || mb < 1) return Refuse("Minimum file size is 1MB !");
    if (mb > kMaxFileMiB) return usage(QStringLiteral("--file-size-mb takes at most %1").arg(kMaxFileMiB));
    o.fileSize = static_cast<uint64_t>(mb) * ArchiveBackup::kMiB;
  }

  std::unique_ptr<archive::ArchiveDatabase> db = OpenArchiveFolders(folders, &error);
  if (!db) {
    PrintLine(QStringLiteral("backup: ") + error, true);
    return kArchiveMissing;
  }
  if (!db->IsOpen() || db->Latest() == 0) {
    PrintLine(QStringLiteral("backup: no recordings in %1").arg(QString::fromStdString(folders.front())), true);
    return kArchiveMissing;
  }
  ArchiveBackup backup(db.get());
  CommandListener listener(ask);
  const ArchiveBackup::Result result = backup.Run(o, &listener);
  if (result.outcome == ArchiveBackup::Outcome::kReadError) {
    PrintLine(QStringLiteral("Error reading archives !"), true);
    return kArchiveMissing;
  }
  // A file that could not be made ends as a cancel by the dialog's question; the command says
  // what it was.
  const bool failed = result.outcome == ArchiveBackup::Outcome::kWriteError || !result.error.empty();
  QStringList files;
  for (const std::string& f : result.files) files << JsonObject::Quote(QString::fromStdString(f));
  JsonObject json;
  json.Add("records", static_cast<long long>(result.records)).AddRaw("files", JsonObject::Array(files));
  json.Add("result", failed ? "failed" : result.outcome == ArchiveBackup::Outcome::kFinished ? "finished" : "cancelled");
  AddArchiveTime(json, "first", result.first);
  AddArchiveTime(json, "last", result.last);
  if (failed) json.Add("error", result.error);
  PrintLine(json.Text());
  return failed ? kWriteFailed : kOk;
}

}  // namespace strixc::tool
