#include "archive_folders.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "archive/archive_database.h"
#include "archive/archive_location.h"
#include "archive/archive_time.h"
#include "station/station.h"

namespace strixc::tool {

bool ReadArchiveFolders(const QStringList& given, std::vector<std::string>* folders, QString* error) {
  for (const QString& folder : given) {
    std::string path = std::filesystem::path(folder.toStdString()).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    if (std::find(folders->begin(), folders->end(), path) != folders->end()) {
      *error = QStringLiteral("folder '%1' given twice").arg(folder);
      return false;
    }
    folders->push_back(path);
  }
  return true;
}

std::unique_ptr<archive::ArchiveDatabase> OpenArchiveFolders(const std::vector<std::string>& folders, QString* error) {
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
      *error = QStringLiteral("no such folder: %1").arg(QString::fromStdString(folder));
      return nullptr;
    }
  }
  auto db = std::make_unique<archive::ArchiveDatabase>(folders.front());
  // Dropping the default location through an empty rebuild touches no file.
  db->MarkLocationDeleted(0);
  db->ApplyLocation(0, {}, {}, {}, {}, true);
  for (const std::string& folder : folders) {
    db->AddLocation(folder, archive::ArchiveLocation::kMinSize, archive::ArchiveLocation::kMinSize, 0);
  }
  db->Open(true);
  return db;
}

bool OpenPlayedArchive(const std::vector<std::string>& folders, const QString& profileDir, PlayedArchive* out,
                       QString* error) {
  out->db = OpenArchiveFolders(folders, error);
  if (!out->db) return false;
  if (!out->db->IsOpen() || out->db->Latest() == 0) {
    *error = QStringLiteral("no recordings in %1").arg(QString::fromStdString(folders.front()));
    return false;
  }
  const std::string path = settings::SettingsDatabase::DefaultPath(profileDir.toStdString());
  std::error_code ec;
  if (!profileDir.isEmpty() || std::filesystem::exists(path, ec)) {
    out->settings.Open(path);
  } else {
    out->settings.OpenInMemory();
  }
  out->db->Bookmarks().Load(out->settings, std::string(station::Station::kArchiveKey) + "\\Bookmarks");
  return true;
}

bool ReadArchiveTimeOption(const QCommandLineParser& parser, const char* name, uint64_t* value, QString* error) {
  const std::optional<uint64_t> t = archive::ParseArchiveTime(parser.value(QString::fromUtf8(name)).toStdString());
  if (!t) {
    *error = QStringLiteral("--%1 takes YYYY-MM-DDTHH:MM:SS[.fff] or @UNITS").arg(QString::fromUtf8(name));
    return false;
  }
  *value = *t;
  return true;
}

QString ArchiveTimeText(uint64_t time) {
  return time == 0 ? QString() : QString::fromStdString(archive::FormatArchiveTimeText(time));
}

JsonObject& AddArchiveTime(JsonObject& json, const char* key, uint64_t time) {
  return json.Add(key, ArchiveTimeText(time)).Add((std::string(key) + "Units").c_str(), static_cast<long long>(time));
}

}  // namespace strixc::tool
