#include "settings/settings_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "settings/sqlite_statement.h"

namespace strixc::settings {

namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS settings_keys("
    "  path TEXT PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS settings_values("
    "  path TEXT NOT NULL COLLATE NOCASE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  kind INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(path, name));";

// Makes every missing folder of `dir` with mode 0700; existing folders are left as they are.
void MakeFolders(const std::string& dir) {
  if (dir.empty()) return;
  std::string partial;
  size_t start = 0;
  while (start <= dir.size()) {
    const size_t slash = dir.find('/', start);
    const size_t end = slash == std::string::npos ? dir.size() : slash;
    partial = dir.substr(0, end);
    if (!partial.empty()) ::mkdir(partial.c_str(), 0700);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A LIKE pattern matching every path below `path`: its characters escaped, then "\%".
std::string BelowPattern(const std::string& path) {
  std::string pattern;
  for (char c : path) {
    if (c == '!' || c == '%' || c == '_') pattern += '!';
    pattern += c;
  }
  return pattern + "\\%";
}

std::string TimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

bool IsBusy(int code) { return code == SQLITE_BUSY || code == SQLITE_LOCKED; }

}  // namespace

std::string SettingsDatabase::DefaultPath(const std::string& profileDir) {
  if (!profileDir.empty()) return profileDir + "/settings.sqlite";
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && home[0] ? home : ".") + "/.config";
  }
  return base + "/strixc/settings.sqlite";
}

SettingsDatabase::~SettingsDatabase() { Close(); }

void SettingsDatabase::Close() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  transactionDepth_ = 0;
}

void SettingsDatabase::OpenInMemory() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Close();
  path_.clear();
  sqlite3_open(":memory:", &db_);
  std::string error;
  Prepare(&error);
}

void SettingsDatabase::Open(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Close();
  notice_.clear();
  problem_ = OpenProblem::kNone;
  asidePath_.clear();
  filePath_ = path;
  path_ = path;
  MakeFolders(FolderOf(path));

  // Created here rather than by SQLite so that it is never readable by others, not even for a moment.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);

  std::string error;
  if (OpenFile(path, &error)) return;
  const int code = db_ ? sqlite3_extended_errcode(db_) : SQLITE_ERROR;
  Close();
  if (IsBusy(code & 0xFF)) {
    notice_ = "The settings file " + path + " is locked by another program (" + error +
              "). This run keeps its settings in memory; they will not be saved.";
    problem_ = OpenProblem::kLocked;
    OpenInMemory();
    return;
  }
  MoveAside(path);
  if (!notice_.empty()) {
    std::string again;
    if (OpenFile(path, &again)) {
      problem_ = OpenProblem::kMovedAside;
      return;
    }
    Close();
  }
  problem_ = OpenProblem::kUnusable;
  notice_ = "The settings file " + path + " cannot be used (" + error +
            ") and could not be moved aside. This run keeps its settings in memory; they will not be saved.";
  OpenInMemory();
}

bool SettingsDatabase::OpenFile(const std::string& path, std::string* error) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    *error = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  return Prepare(error);
}

bool SettingsDatabase::Prepare(std::string* error) {
  // WAL: another program may read while this one writes; every transaction is still atomic.
  bool ok = true;
  if (!path_.empty()) ok = Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=NORMAL");
  if (ok && !path_.empty()) {
    SqliteStatement check(db_, "PRAGMA quick_check");
    ok = check.Ok() && check.Step() == SQLITE_ROW && check.ColumnText(0) == "ok";
    if (!ok && check.Ok()) *error = "integrity check failed";
  }
  if (ok) ok = Exec(kSchema);
  if (!ok && error->empty()) *error = sqlite3_errmsg(db_);
  return ok;
}

void SettingsDatabase::MoveAside(const std::string& path) {
  const std::string aside = path + ".damaged-" + TimeStamp();
  if (::rename(path.c_str(), aside.c_str()) != 0) return;
  // The journal files belong to the damaged file; a new database must not pick them up.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    const std::string from = path + suffix;
    if (::access(from.c_str(), F_OK) == 0) ::rename(from.c_str(), (aside + suffix).c_str());
  }
  asidePath_ = aside;
  notice_ = "The settings file " + path + " was damaged or unreadable. It was moved to " + aside +
            " and the program starts with default settings.";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
}

bool SettingsDatabase::Exec(const char* sql) { return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool SettingsDatabase::Transaction(const std::function<bool()>& work) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!db_) return false;
  if (transactionDepth_ > 0) return work();
  // IMMEDIATE takes the write lock at once, so that a second program waits here (busy time-out)
  // instead of failing half-way through a save.
  if (!Exec("BEGIN IMMEDIATE")) return false;
  ++transactionDepth_;
  const bool ok = work();
  --transactionDepth_;
  if (ok && Exec("COMMIT")) return true;
  Exec("ROLLBACK");
  return false;
}

bool SettingsDatabase::CreateKeyLocked(const std::string& path) {
  // Every ancestor exists as a key too, as in the registry.
  SqliteStatement insert(db_, "INSERT OR IGNORE INTO settings_keys(path) VALUES(?1)");
  for (size_t at = 0;;) {
    const size_t slash = path.find('\\', at);
    const std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
    if (!prefix.empty()) {
      insert.Reset();
      if (!insert.Bind(1, prefix).Run()) return false;
    }
    if (slash == std::string::npos) return true;
    at = slash + 1;
  }
}

bool SettingsDatabase::CreateKey(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!db_) return false;
  // Already there: the common case costs one read and no write lock.
  SqliteStatement find(db_, "SELECT 1 FROM settings_keys WHERE path = ?1");
  if (find.Bind(1, path).Step() == SQLITE_ROW) return true;
  return Transaction([&] { return CreateKeyLocked(path); });
}

bool SettingsDatabase::ClearKey(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return Transaction([&] {
    const std::string below = BelowPattern(path);
    return SqliteStatement(db_, "DELETE FROM settings_values WHERE path = ?1 OR path LIKE ?2 ESCAPE '!'")
               .Bind(1, path)
               .Bind(2, below)
               .Run() &&
           SqliteStatement(db_, "DELETE FROM settings_keys WHERE path LIKE ?1 ESCAPE '!'").Bind(1, below).Run();
  });
}

bool SettingsDatabase::ReadValue(const std::string& path, const std::string& name, ValueKind* kind,
                                 std::string* data) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!db_) return false;
  SqliteStatement read(db_, "SELECT kind, data FROM settings_values WHERE path = ?1 AND name = ?2");
  if (read.Bind(1, path).Bind(2, name).Step() != SQLITE_ROW) return false;
  // A kind this program never writes (another tool's hand) reads as a binary block.
  const int64_t stored = read.ColumnInt(0);
  *kind = stored == static_cast<int64_t>(ValueKind::kString) || stored == static_cast<int64_t>(ValueKind::kDword)
              ? static_cast<ValueKind>(stored)
              : ValueKind::kBinary;
  *data = read.ColumnBlob(1);
  return true;
}

bool SettingsDatabase::WriteValue(const std::string& path, const std::string& name, ValueKind kind,
                                  const void* data, size_t size) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return Transaction([&] {
    return CreateKeyLocked(path) &&
           SqliteStatement(db_,
                           "INSERT INTO settings_values(path, name, kind, data) VALUES(?1, ?2, ?3, ?4) "
                           "ON CONFLICT(path, name) DO UPDATE SET kind = excluded.kind, data = excluded.data")
               .Bind(1, path)
               .Bind(2, name)
               .Bind(3, static_cast<int64_t>(kind))
               .BindBlob(4, data, size)
               .Run();
  });
}

bool SettingsDatabase::DeleteValue(const std::string& path, const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!db_) return false;
  SqliteStatement erase(db_, "DELETE FROM settings_values WHERE path = ?1 AND name = ?2");
  return erase.Bind(1, path).Bind(2, name).Run() && sqlite3_changes(db_) > 0;
}

bool SettingsDatabase::ValueNameAt(const std::string& path, int index, std::string* name) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!db_ || index < 0) return false;
  SqliteStatement read(db_, "SELECT name FROM settings_values WHERE path = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2");
  if (read.Bind(1, path).Bind(2, static_cast<int64_t>(index)).Step() != SQLITE_ROW) return false;
  *name = read.ColumnText(0);
  return true;
}

std::vector<std::string> SettingsDatabase::ValueNames(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  std::vector<std::string> names;
  if (!db_) return names;
  SqliteStatement read(db_, "SELECT name FROM settings_values WHERE path = ?1 ORDER BY rowid");
  read.Bind(1, path);
  while (read.Step() == SQLITE_ROW) names.push_back(read.ColumnText(0));
  return names;
}

Tree SettingsDatabase::Export() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Tree tree;
  if (!db_) return tree;
  SqliteStatement keys(db_, "SELECT path FROM settings_keys ORDER BY path");
  while (keys.Step() == SQLITE_ROW) tree.keys.push_back(keys.ColumnText(0));
  SqliteStatement values(db_, "SELECT path, name, kind, data FROM settings_values ORDER BY path, rowid");
  while (values.Step() == SQLITE_ROW)
    tree.values.push_back({values.ColumnText(0), values.ColumnText(1), static_cast<ValueKind>(values.ColumnInt(2)),
                           values.ColumnBlob(3)});
  return tree;
}

bool SettingsDatabase::Import(const Tree& tree) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return Transaction([&] {
    if (!Exec("DELETE FROM settings_values") || !Exec("DELETE FROM settings_keys")) return false;
    for (const std::string& key : tree.keys)
      if (!CreateKeyLocked(key)) return false;
    for (const TreeValue& v : tree.values)
      if (!WriteValue(v.path, v.name, v.kind, v.data.data(), v.data.size())) return false;
    return true;
  });
}

}  // namespace strixc::settings
