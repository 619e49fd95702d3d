#include "archive_command.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_file.h"
#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "archive/archive_time.h"
#include "archive/archive_verifier.h"
#include "archive_folders.h"
#include "command_help.h"
#include "json_writer.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

using archive::ArchiveDatabase;
using archive::ArchiveFile;
using archive::ArchiveFileInfo;
using archive::RecordHeader;

constexpr int kViolations = 8;
constexpr int kWouldLoseRecordings = 9;
constexpr int kArchiveFailed = 10;

// Sizes a location may be given on the command line: up to 16 TiB of space, files below 2 GiB
// (file lengths travel in 32-bit fields elsewhere in the station).
constexpr qint64 kMaxSpaceMiB = qint64{1} << 24;
constexpr qint64 kMaxFileMiB = 2047;

struct ArchiveOptions {
  QString action;
  std::vector<std::string> folders;
  // create
  uint64_t space = 0;
  uint64_t fileSize = 0;
  int64_t minFileNumber = 0;
  bool fast = false;
  bool yes = false;
  // dump
  int camera = -1;
  uint64_t from = 0;
  uint64_t to = UINT64_MAX;
};

int Usage(const QString& text) {
  PrintLine(QStringLiteral("archive: ") + text, true);
  return kUsage;
}

// Messages of the database carry "\r\n" line breaks meant for a dialog; standard error gets one line.
QString OneLine(const std::string& text) {
  return QString::fromStdString(text).simplified();
}

constexpr CommandHelp kHelp = {
    "archive",
    "strixc-tool archive create DIR --space-mb N --file-size-mb M [--fast] [--min-file-number K] [--yes]\n"
    "strixc-tool archive info DIR...\n"
    "strixc-tool archive verify DIR...\n"
    "strixc-tool archive dump DIR... [--camera C] [--from T] [--to T]",
    "create makes DIR a location of archive files (it refuses, printing the loss warning, when\n"
    "recordings would be lost, unless --yes); info summarises the archive as JSON; verify checks every\n"
    "structure of every file and prints one JSON line per violation; dump prints one JSON line per\n"
    "record in time order. The folders given form one archive. Times T are local\n"
    "YYYY-MM-DDTHH:MM:SS[.fff] or raw archive units @N. Exit codes: 0 done, 1 bad command line,\n"
    "8 verify found violations, 9 create would lose recordings, 10 a folder is missing or the\n"
    "rebuild failed.",
};

void AddOptions(QCommandLineParser& parser) {
  parser.addOptions({
      {"space-mb", "create: space of the location in MiB.", "N"},
      {"file-size-mb", "create: size of each archive file in MiB.", "M"},
      {"fast", "create: fast formatting."},
      {"min-file-number", "create: lowest file number of the location.", "K"},
      {"yes", "create: go ahead even when recordings are lost."},
      {"camera", "dump: only this camera (0..17).", "C"},
      {"from", "dump: first time (wall clock, or @UNITS of the archive).", "T"},
      {"to", "dump: last time (wall clock, or @UNITS of the archive).", "T"},
  });
}

std::optional<ArchiveOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) {
    *error = QStringLiteral("expected create, info, verify or dump");
    return std::nullopt;
  }
  ArchiveOptions o;
  o.action = positional.takeFirst();
  if (o.action != "create" && o.action != "info" && o.action != "verify" && o.action != "dump") {
    *error = QStringLiteral("unknown action '%1'").arg(o.action);
    return std::nullopt;
  }
  if (positional.isEmpty()) {
    *error = QStringLiteral("%1 needs a folder").arg(o.action);
    return std::nullopt;
  }
  if (!ReadArchiveFolders(positional, &o.folders, error)) return std::nullopt;

  const bool create = o.action == "create";
  const bool dump = o.action == "dump";
  for (const char* name : {"space-mb", "file-size-mb", "fast", "min-file-number", "yes"}) {
    if (!create && parser.isSet(QString::fromUtf8(name))) {
      *error = QStringLiteral("--%1 is an option of create").arg(QString::fromUtf8(name));
      return std::nullopt;
    }
  }
  for (const char* name : {"camera", "from", "to"}) {
    if (!dump && parser.isSet(QString::fromUtf8(name))) {
      *error = QStringLiteral("--%1 is an option of dump").arg(QString::fromUtf8(name));
      return std::nullopt;
    }
  }
  if (create) {
    if (o.folders.size() != 1) {
      *error = QStringLiteral("create takes one folder");
      return std::nullopt;
    }
    if (!parser.isSet("space-mb") || !parser.isSet("file-size-mb")) {
      *error = QStringLiteral("create needs --space-mb N and --file-size-mb M");
      return std::nullopt;
    }
    qint64 space = 0;
    qint64 fileSize = 0;
    if (!ReadNumberOption(parser, "space-mb", 1, kMaxSpaceMiB, &space, error)) return std::nullopt;
    if (!ReadNumberOption(parser, "file-size-mb", 1, kMaxFileMiB, &fileSize, error)) return std::nullopt;
    o.space = static_cast<uint64_t>(space) * archive::kMiB;
    o.fileSize = static_cast<uint64_t>(fileSize) * archive::kMiB;
    qint64 minNumber = 0;
    if (parser.isSet("min-file-number") && !ReadNumberOption(parser, "min-file-number", 0, INT32_MAX, &minNumber, error))
      return std::nullopt;
    o.minFileNumber = minNumber;
    o.fast = parser.isSet("fast");
    o.yes = parser.isSet("yes");
  }
  if (dump) {
    qint64 camera = -1;
    if (parser.isSet("camera") && !ReadNumberOption(parser, "camera", 0, archive::kCameraSlots - 1, &camera, error))
      return std::nullopt;
    o.camera = static_cast<int>(camera);
    if (parser.isSet("from") && !ReadArchiveTimeOption(parser, "from", &o.from, error)) return std::nullopt;
    if (parser.isSet("to") && !ReadArchiveTimeOption(parser, "to", &o.to, error)) return std::nullopt;
    if (o.from > o.to) {
      *error = QStringLiteral("--from is after --to");
      return std::nullopt;
    }
  }
  return o;
}

uint32_t RecordCountOf(const std::string& path) {
  ArchiveFile file;
  archive::FileHeader header;
  if (!file.Open(path, ArchiveFile::Access::kReadOnly) || !file.ReadHeader(&header) || header.IsEmpty()) return 0;
  return header.recordCount;
}

// ---- create ------------------------------------------------------------------------------------

int RunCreate(const ArchiveOptions& o) {
  const std::string& folder = o.folders.front();
  ArchiveDatabase db(folder);
  db.MarkLocationDeleted(0);
  db.ApplyLocation(0, {}, {}, {}, {}, true);
  if (db.AddLocation(folder, o.space, o.fileSize, o.minFileNumber) != 0) {
    PrintLine(QStringLiteral("archive: cannot add location %1").arg(QString::fromStdString(folder)), true);
    return kArchiveFailed;
  }
  std::vector<ArchiveFileInfo> deleteList;
  std::vector<ArchiveFileInfo> createList;
  if (!db.PlanLocation(0, &deleteList, &createList)) {
    PrintLine(QStringLiteral("archive: cannot plan the location: ") + OneLine(db.MessageLog().Summary()), true);
    return kArchiveFailed;
  }
  const std::string warning = ArchiveDatabase::LossWarning(deleteList);
  if (!warning.empty()) {
    if (!o.yes) {
      PrintLine(OneLine(warning) + QStringLiteral(" Nothing was changed; give --yes to go ahead."), true);
      return kWouldLoseRecordings;
    }
    PrintLine(OneLine(warning), true);
  }
  db.MessageLog().Reset();
  db.ApplyLocation(
      0, deleteList, createList,
      [](const std::string& text) {
        if (!text.empty()) PrintLine(OneLine(text), true);
      },
      [](const std::string& text) {
        if (!text.empty()) PrintLine(QStringLiteral("formatting ") + QString::fromStdString(text), true);
      },
      o.fast);
  if (db.MessageLog().Errors() != 0) {
    PrintLine(QStringLiteral("archive: ") + OneLine(db.MessageLog().Summary()), true);
    return kArchiveFailed;
  }

  QStringList files;
  if (db.Open(true)) {
    std::vector<ArchiveFileInfo> list = db.Files();
    std::sort(list.begin(), list.end(),
              [](const ArchiveFileInfo& a, const ArchiveFileInfo& b) { return a.number < b.number; });
    for (const ArchiveFileInfo& f : list) {
      files << JsonObject()
                   .Add("path", f.path)
                   .Add("number", static_cast<long long>(f.number))
                   .Add("length", static_cast<long long>(f.length))
                   .Text();
    }
  }
  PrintLine(JsonObject()
                .Add("location", folder)
                .AddRaw("files", JsonObject::Array(files))
                .Add("created", static_cast<long long>(createList.size()))
                .Add("deleted", static_cast<long long>(deleteList.size()))
                .Text());
  return kOk;
}

// ---- info --------------------------------------------------------------------------------------

int RunInfo(const ArchiveOptions& o) {
  QString error;
  const auto db = OpenArchiveFolders(o.folders, &error);
  if (!db) {
    PrintLine(QStringLiteral("archive: ") + error, true);
    return kArchiveFailed;
  }
  QStringList files;
  for (const ArchiveFileInfo& f : db->Files()) {
    JsonObject json;
    json.Add("path", f.path).Add("number", static_cast<long long>(f.number));
    AddArchiveTime(json, "firstTime", f.firstTime);
    AddArchiveTime(json, "lastTime", f.lastTime);
    json.Add("length", static_cast<long long>(f.length))
        .Add("cameraMask", f.cameraMask)
        .Add("recordCount", RecordCountOf(f.path));
    files << json.Text();
  }
  JsonObject json;
  AddArchiveTime(json, "earliest", db->Earliest());
  AddArchiveTime(json, "latest", db->Latest());
  json.Add("cameraMask", db->CameraMask())
      .Add("totalSize", static_cast<long long>(db->TotalSize()))
      .Add("usedSize", static_cast<long long>(db->UsedSize()))
      .AddRaw("files", JsonObject::Array(files));
  PrintLine(json.Text());
  return kOk;
}

// ---- verify ------------------------------------------------------------------------------------

int RunVerify(const ArchiveOptions& o) {
  QString error;
  const auto db = OpenArchiveFolders(o.folders, &error);
  if (!db) {
    PrintLine(QStringLiteral("archive: ") + error, true);
    return kArchiveFailed;
  }
  std::vector<ArchiveFileInfo> files = db->Files();
  // A file with an archive file name that is shorter than 1 MiB is left out of the archive; it is
  // most likely a truncated archive file, so it is checked (and reported) too.
  for (const std::string& folder : o.folders) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      const std::string name = entry.path().filename().string();
      const auto number = archive::ParseArchiveFileName(name);
      std::error_code sizeError;
      if (!number || !entry.is_regular_file(sizeError)) continue;
      const auto size = entry.file_size(sizeError);
      if (sizeError || size >= archive::kMinFileLength) continue;
      ArchiveFileInfo info;
      info.number = *number;
      info.path = entry.path().string();
      files.push_back(info);
    }
  }

  size_t violations = 0;
  size_t badFiles = 0;
  const auto report = [&](const std::string& path, uint64_t offset, const std::string& problem) {
    PrintLine(JsonObject()
                  .Add("file", path)
                  .Add("offset", static_cast<long long>(offset))
                  .Add("problem", problem)
                  .Text());
    ++violations;
  };
  const ArchiveFileInfo* previous = nullptr;
  for (const ArchiveFileInfo& f : files) {
    const auto found = archive::ArchiveVerifier::VerifyFile(f.path);
    for (const archive::ArchiveViolation& v : found) report(f.path, v.offset, v.problem);
    // The files of an archive follow one another in time.
    bool overlap = false;
    if (!f.IsEmpty()) {
      if (previous != nullptr && f.firstTime <= previous->lastTime) {
        report(f.path, 0, "time range overlaps the file " + previous->path);
        overlap = true;
      }
      previous = &f;
    }
    if (!found.empty() || overlap) ++badFiles;
  }
  if (violations != 0) {
    PrintLine(QStringLiteral("archive: %1 violations in %2 of %3 files").arg(violations).arg(badFiles).arg(files.size()),
              true);
    return kViolations;
  }
  return kOk;
}

// ---- dump --------------------------------------------------------------------------------------

// Finds the file and offset of a record the reader delivered, through the index of the files whose
// time range holds its time. Times increase strictly within a file, so the time names the entry.
class RecordLocator {
 public:
  explicit RecordLocator(std::vector<ArchiveFileInfo> files) : files_(std::move(files)) {}

  bool Locate(const RecordHeader& record, std::string* path, uint64_t* offset) {
    for (size_t i = 0; i < files_.size(); ++i) {
      const ArchiveFileInfo& f = files_[i];
      if (f.IsEmpty() || record.time < f.firstTime || record.time > f.lastTime) continue;
      Opened& o = Open(i);
      if (!o.file.IsOpen()) continue;
      // The last entry whose time is not after the record's.
      uint32_t low = 0;
      uint32_t high = o.count;
      while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        archive::IndexEntry e;
        if (!o.file.ReadIndexEntry(mid, o.count, &e)) break;
        if (e.time <= record.time) {
          low = mid + 1;
        } else {
          high = mid;
        }
      }
      archive::IndexEntry e;
      RecordHeader h;
      if (low == 0 || !o.file.ReadIndexEntry(low - 1, o.count, &e) || e.time != record.time) continue;
      if (!o.file.ReadRecordHeader(e.offset, &h) || h.camera != record.camera || h.time != record.time) continue;
      *path = f.path;
      *offset = e.offset;
      return true;
    }
    return false;
  }

 private:
  struct Opened {
    ArchiveFile file;
    uint32_t count = 0;
  };

  Opened& Open(size_t i) {
    auto [it, fresh] = opened_.try_emplace(i);
    if (fresh) {
      archive::FileHeader header;
      if (it->second.file.Open(files_[i].path, ArchiveFile::Access::kReadOnly) && it->second.file.ReadHeader(&header)) {
        it->second.count = header.recordCount;
      }
    }
    return it->second;
  }

  std::vector<ArchiveFileInfo> files_;
  std::map<size_t, Opened> opened_;
};

const char* TypeName(uint8_t type) {
  switch (static_cast<archive::RecordType>(type)) {
    case archive::RecordType::kKeyFrame: return "key";
    case archive::RecordType::kDeltaFrame: return "delta";
    case archive::RecordType::kEvent: return "event";
  }
  return "unknown";
}

int RunDump(const ArchiveOptions& o) {
  QString error;
  const auto db = OpenArchiveFolders(o.folders, &error);
  if (!db) {
    PrintLine(QStringLiteral("archive: ") + error, true);
    return kArchiveFailed;
  }
  if (!db->IsOpen()) return kOk;
  const std::vector<ArchiveFileInfo> files = db->Files();
  // The reader's walks always end; this bound only guards the loop below against a fault of ours.
  uint64_t most = files.size();
  for (const ArchiveFileInfo& f : files) most += f.length / archive::kRecordHeaderSize;

  RecordLocator locator(files);
  archive::ArchiveReader reader(db.get());
  const bool oneCamera = o.camera >= 0;
  const uint64_t from = std::max<uint64_t>(o.from, 1);
  RecordHeader header;
  const bool found = oneCamera ? reader.SeekCamera(o.camera, from, &header) : reader.Seek(from, &header);
  if (!found) return kOk;
  std::vector<uint8_t> payload;
  for (uint64_t n = 0; n < most && reader.ReadRecord(&payload, &header, oneCamera); ++n) {
    // Seek stops at the record at or before --from.
    if (header.time < from) continue;
    if (header.time > o.to) break;
    std::string path;
    uint64_t offset = 0;
    locator.Locate(header, &path, &offset);
    JsonObject json;
    AddArchiveTime(json, "time", header.time);
    json.Add("camera", static_cast<int>(header.camera))
        .Add("type", TypeName(header.type))
        .Add("size", static_cast<long long>(header.payloadSize));
    AddArchiveTime(json, "keyTime", header.keyTime);
    json.Add("file", path).Add("offset", static_cast<long long>(offset));
    if (header.type == static_cast<uint8_t>(archive::RecordType::kEvent) &&
        header.payloadSize == static_cast<int32_t>(archive::kEventPayloadSize)) {
      const archive::EventPayload event = archive::EventPayload::Decode(payload.data());
      json.Add("event", event.flag != 0 ? "set" : "clear").Add("text", event.text);
    }
    PrintLine(json.Text());
  }
  return kOk;
}

}  // namespace

int RunArchive(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) return Usage(error);
  if (options->action == "create") return RunCreate(*options);
  if (options->action == "info") return RunInfo(*options);
  if (options->action == "verify") return RunVerify(*options);
  return RunDump(*options);
}

}  // namespace strixc::tool
