#pragma once

#include <sqlite3.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace strixc::settings {

// The kinds of value the tree holds, with the registry's type numbers.
enum class ValueKind : int { kString = 1, kBinary = 3, kDword = 4 };

// One value of the tree, as export and import see it.
struct TreeValue {
  std::string path;  // full key path, "\"-separated
  std::string name;
  ValueKind kind = ValueKind::kBinary;
  std::string data;  // raw bytes: a string with its terminating zero, a DWORD as 4 bytes
};

// The whole tree: every key (also empty ones) and every value.
struct Tree {
  std::vector<std::string> keys;
  std::vector<TreeValue> values;
};

// The settings tree in one SQLite file: keys with "\" paths and named values of kind DWORD, string
// or binary. Key paths and value names compare without regard to (ASCII) case.
//
// Thread-safe: every operation takes the database's lock (SettingsKey objects of several threads
// share one database). Another process may use the same file at the same time; a write waits for
// the other's transaction for up to kBusyTimeoutMs.
class SettingsDatabase {
 public:
  static constexpr int kBusyTimeoutMs = 5000;
  static constexpr char kProgramKey[] = "Software\\VELTA\\Strix-C\\1.0";

  // $XDG_CONFIG_HOME/strixc/settings.sqlite (default ~/.config/strixc), or DIR/settings.sqlite for
  // a profile folder DIR.
  static std::string DefaultPath(const std::string& profileDir = std::string());

  SettingsDatabase() = default;
  ~SettingsDatabase();
  SettingsDatabase(const SettingsDatabase&) = delete;
  SettingsDatabase& operator=(const SettingsDatabase&) = delete;

  // Opens (creating the file with mode 0600, its folder with 0700, when missing). A file that is
  // not a usable settings database is moved aside as "<path>.damaged-<time>" and a new one is
  // started; when even that fails the tree lives in memory for this run. Never fails: Notice()
  // then says what happened, once, for the operator.
  void Open(const std::string& path);
  // An in-memory tree (tests, tools that must not touch the operator's file).
  void OpenInMemory();

  // What the operator should be told about the settings file (empty when all went well).
  const std::string& Notice() const { return notice_; }
  // What Open had to do, for callers that tell it in their own words: a damaged file moved aside
  // (to AsidePath(); a new tree was started), a file locked by another program, or one that could
  // be neither used nor moved (both keep the tree in memory).
  enum class OpenProblem { kNone, kMovedAside, kLocked, kUnusable };
  OpenProblem Problem() const { return problem_; }
  const std::string& AsidePath() const { return asidePath_; }
  // The file Open was given, also when the tree ended up in memory.
  const std::string& FilePath() const { return filePath_; }
  const std::string& Path() const { return path_; }
  // True when the tree lives in memory only: nothing of this run will be saved.
  bool InMemory() const { return path_.empty(); }

  // Runs `work` in one transaction: all its changes land, or (when it returns false, or the
  // process dies half-way) none. Nested calls join the outer transaction.
  bool Transaction(const std::function<bool()>& work);

  // --- Operations of SettingsKey (paths are full key paths) ---
  bool CreateKey(const std::string& path);
  // Removes every sub-key (recursively) and every value of the key; the key remains.
  bool ClearKey(const std::string& path);
  // Reads a value; false when missing.
  bool ReadValue(const std::string& path, const std::string& name, ValueKind* kind, std::string* data);
  bool WriteValue(const std::string& path, const std::string& name, ValueKind kind, const void* data, size_t size);
  bool DeleteValue(const std::string& path, const std::string& name);
  // The name of the index-th value of the key, in the order the values were first written.
  bool ValueNameAt(const std::string& path, int index, std::string* name);
  // Every value name of the key, in that order, in one query.
  std::vector<std::string> ValueNames(const std::string& path);

  Tree Export();
  // Replaces the whole tree in one transaction; false (tree unchanged) on failure.
  bool Import(const Tree& tree);

 private:
  bool OpenFile(const std::string& path, std::string* error);
  bool Prepare(std::string* error);
  void MoveAside(const std::string& path);
  void Close();
  bool Exec(const char* sql);
  bool CreateKeyLocked(const std::string& path);

  std::recursive_mutex lock_;
  // Guarded by lock_:
  sqlite3* db_ = nullptr;
  int transactionDepth_ = 0;
  std::string path_;
  std::string notice_;
  OpenProblem problem_ = OpenProblem::kNone;
  std::string asidePath_;
  std::string filePath_;
};

}  // namespace strixc::settings
