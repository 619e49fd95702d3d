#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "json_writer.h"

#include "settings/settings_database.h"

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::tool {

// The folders given on a command line as one archive: normalised (the database compares location
// paths exactly, so "a" and "a/" would be two locations), each at most once. False with `error`
// set when one repeats.
bool ReadArchiveFolders(const QStringList& given, std::vector<std::string>* folders, QString* error);

// A database whose locations are exactly `folders`, read-only, with the minimum sizes (sizes only
// matter to rebuilds, which these commands never do). Null with `error` set when a folder does not
// exist; an archive without files opens as a closed database with nothing to show.
std::unique_ptr<archive::ArchiveDatabase> OpenArchiveFolders(const std::vector<std::string>& folders, QString* error);

// An archive of folders with the operator's bookmarks, for the commands that play or map it.
struct PlayedArchive {
  // Before the database: its bookmark store keeps using the settings.
  settings::SettingsDatabase settings;
  std::unique_ptr<archive::ArchiveDatabase> db;
};

// Opens the folders (OpenArchiveFolders) and loads the bookmarks of the settings file of
// `profileDir`, or of the operator's default settings file when no profile is given and that file
// exists (it is never created here). False with `error` set when a folder is missing or the
// archive holds no recordings.
bool OpenPlayedArchive(const std::vector<std::string>& folders, const QString& profileDir, PlayedArchive* out,
                       QString* error);

// Reads the archive time option `name` (local YYYY-MM-DDTHH:MM:SS[.fff] or @UNITS).
bool ReadArchiveTimeOption(const QCommandLineParser& parser, const char* name, uint64_t* value, QString* error);

// An archive time as wall-clock text, "" for none.
QString ArchiveTimeText(uint64_t time);
// Adds "<key>": text and "<key>Units": units.
JsonObject& AddArchiveTime(JsonObject& json, const char* key, uint64_t time);

}  // namespace strixc::tool
