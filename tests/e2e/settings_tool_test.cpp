// strixc-tool settings export/import as an operator runs them, on real profile folders.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <string>

#include "archive/bookmark_store.h"
#include "settings/settings_database.h"
#include "settings/settings_key.h"
#include "shell/address_book.h"
#include "shell/language.h"
#include "tools/client_settings.h"

namespace {

using strixc::settings::SettingsDatabase;
using strixc::settings::SettingsKey;
using strixc::settings::Tree;

class SettingsToolTest : public ::testing::Test {
 protected:
  struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
  };

  Result Tool(const QStringList& arguments, const QByteArray& input = QByteArray()) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), QStringList{"settings"} + arguments);
    if (!input.isNull()) {
      tool.write(input);
      tool.closeWriteChannel();
    }
    EXPECT_TRUE(tool.waitForFinished(30000));
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
  }

  QString Profile(const char* name) const { return dir_.filePath(name); }
  std::string Database(const char* name) const { return SettingsDatabase::DefaultPath(Profile(name).toStdString()); }

  Tree ExportOf(const char* profile) {
    SettingsDatabase db;
    db.Open(Database(profile));
    return db.Export();
  }

  // A profile as the station leaves it, plus values of every odd shape the tree can hold.
  void FillProfile(const char* profile) {
    SettingsDatabase db;
    db.Open(Database(profile));
    strixc::shell::AddressBook book;
    book.Load(db);
    ASSERT_TRUE(book.Save(db));
    strixc::tools::ClientSettings client(Profile(profile).toStdString());
    client.SetDefaultDir("/srv/vidéo \"quoted\" \\ back\tslash");
    ASSERT_TRUE(client.Save(db));
    strixc::shell::SetLanguageIndex(3);
    ASSERT_TRUE(strixc::shell::WriteLanguage(db));
    strixc::archive::BookmarkStore bookmarks;
    bookmarks.Load(db, "ArchDatabase\\Bookmarks");
    bookmarks.Add(133'000'000'000'000'000, "Gate");
    SettingsKey odd(db, "Odd\\Empty sub-key\\Deeper");
    odd.Clear();
    SettingsKey shapes(db, "Odd");
    shapes.WriteBinary("ShortDword", "\x01\x02", 2);
    db.WriteValue(shapes.Path(), "DwordOfTwo", strixc::settings::ValueKind::kDword, "\x05\x06", 2);
    db.WriteValue(shapes.Path(), "StringNoZero", strixc::settings::ValueKind::kString, "abc", 3);
    db.WriteValue(shapes.Path(), "StringNotUtf8", strixc::settings::ValueKind::kString, "\xFF\xFE\0", 3);
    db.WriteValue(shapes.Path(), "StringInnerZero", strixc::settings::ValueKind::kString, "a\0b\0", 4);
    shapes.WriteBinary("EmptyBlock", "", 0);
    shapes.WriteString("Long", std::string(700, 'L'));
    shapes.WriteDword("Max", 0xFFFFFFFF);
  }

  static void ExpectSameTree(const Tree& a, const Tree& b) {
    EXPECT_EQ(a.keys, b.keys);
    ASSERT_EQ(a.values.size(), b.values.size());
    for (size_t i = 0; i < a.values.size(); ++i) {
      EXPECT_EQ(a.values[i].path, b.values[i].path) << i;
      EXPECT_EQ(a.values[i].name, b.values[i].name) << i;
      EXPECT_EQ(a.values[i].kind, b.values[i].kind) << a.values[i].name;
      EXPECT_EQ(a.values[i].data, b.values[i].data) << a.values[i].name;
    }
  }

  // A valid file with one value replaced by `value` (a JSON object).
  static QByteArray FileWithValue(const QByteArray& value) {
    return R"({"format":"strixc-settings","version":1,"keys":["Software\\VELTA\\Strix-C\\1.0"],"values":[)" + value +
           "]}";
  }

  QTemporaryDir dir_;
};

TEST_F(SettingsToolTest, ExportThenImportGivesTheSameTree) {
  FillProfile("a");
  const QString file = dir_.filePath("a.json");
  const Result exported = Tool({"export", file, "--profile", Profile("a")});
  ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
  EXPECT_TRUE(exported.err.isEmpty()) << exported.err.toStdString();
  struct stat st{};
  ASSERT_EQ(::stat(file.toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds the address book's passwords";

  {
    SettingsDatabase b;
    b.Open(Database("b"));
    SettingsKey(b, "Stale").WriteDword("Gone", 1);
  }
  const Result imported = Tool({"import", file, "--profile", Profile("b")});
  ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
  const Tree a = ExportOf("a");
  ExpectSameTree(ExportOf("b"), a);
  EXPECT_EQ(imported.out.trimmed(),
            QStringLiteral(R"({"keys":%1,"values":%2,"file":"%3","settings":"%4"})")
                .arg(a.keys.size())
                .arg(a.values.size())
                .arg(file, QString::fromStdString(Database("b")))
                .toUtf8());

  // Standard output and input work the same way.
  const Result toStdout = Tool({"export", "-", "--profile", Profile("a")});
  ASSERT_EQ(toStdout.exitCode, 0);
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(toStdout.out, saved.readAll());
  const Result fromStdin = Tool({"import", "-", "--profile", Profile("c")}, toStdout.out);
  ASSERT_EQ(fromStdin.exitCode, 0) << fromStdin.err.toStdString();
  ExpectSameTree(ExportOf("c"), a);
}

TEST_F(SettingsToolTest, ReadableValuesInTheExport) {
  FillProfile("a");
  const Result r = Tool({"export", "-", "--profile", Profile("a")});
  ASSERT_EQ(r.exitCode, 0);
  const std::string json = r.out.toStdString();
  EXPECT_NE(json.find(R"("key": "Software\\VELTA\\Strix-C\\1.0\\ClientSettings")"), std::string::npos);
  EXPECT_NE(json.find(R"("value": 25)"), std::string::npos);
  EXPECT_NE(json.find(R"("value": 4294967295)"), std::string::npos);
  EXPECT_NE(json.find(R"("value": "/srv/vidéo \"quoted\" \\ back\tslash")"), std::string::npos);
  EXPECT_NE(json.find(R"("data": "0506")"), std::string::npos) << "a dword of two bytes keeps its bytes";
  EXPECT_NE(json.find(R"("data": "61006200")"), std::string::npos) << "a string with a zero inside";
  EXPECT_NE(json.find(R"("value": "0102")"), std::string::npos) << "binary as hex";
}

TEST_F(SettingsToolTest, ExportOfADamagedSettingsFileFailsAndSaysSoOnce) {
  ASSERT_TRUE(QDir().mkpath(Profile("d")));
  QFile damaged(QString::fromStdString(Database("d")));
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write(QByteArray(8192, 'x'));
  damaged.close();
  const Result r = Tool({"export", "-", "--profile", Profile("d")});
  EXPECT_NE(r.exitCode, 0) << "an empty tree is not the operator's settings";
  EXPECT_EQ(r.err.count("moved to"), 1) << r.err.toStdString();
  EXPECT_FALSE(r.out.contains("strixc-settings")) << r.out.toStdString();
}

// --- Files that are refused ---------------------------------------------------------------------

TEST_F(SettingsToolTest, BadFilesAreRefusedAndChangeNothing) {
  FillProfile("b");
  const Tree before = ExportOf("b");
  const struct {
    QByteArray file;
    const char* message;
  } cases[] = {
      {"{\"format\": \"strixc-settings\", ", "settings import: not JSON"},
      {"[]", "settings import: not a settings file: the top level must be an object"},
      {R"({"format":"other","version":1,"keys":[],"values":[]})", "settings import: format must be \"strixc-settings\""},
      {R"({"format":"strixc-settings","version":2,"keys":[],"values":[]})", "settings import: version must be 1"},
      {R"({"format":"strixc-settings","version":1,"keys":[],"values":[],"extra":0})",
       "settings import: unknown member 'extra'"},
      {R"({"format":"strixc-settings","version":1,"keys":["Software\\Other"],"values":[]})",
       "settings import: key 0: must be Software\\VELTA\\Strix-C\\1.0, a key below it or one above it"},
      {R"({"format":"strixc-settings","version":1,"keys":["Software\\VELTA\\Strix-C\\1.0\\A\\"],"values":[]})",
       "settings import: key 0:"},
      {R"({"format":"strixc-settings","version":1,"keys":["Software","software"],"values":[]})",
       "settings import: key 1: listed twice"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"qword","value":1})"),
       "settings import: value 0: kind must be dword, string or binary"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"binary","value":"0g"})"),
       "settings import: value 0: value must be hexadecimal digits in pairs"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"binary","value":"abc"})"),
       "settings import: value 0: value must be hexadecimal digits in pairs"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"string","data":"0 "})"),
       "settings import: value 0: data must be hexadecimal digits in pairs"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"dword","value":4294967296})"),
       "settings import: value 0: a dword value must be a whole number from 0 to 4294967295"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"dword","value":-1})"),
       "settings import: value 0: a dword value"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"dword","value":1.5})"),
       "settings import: value 0: a dword value"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"dword","value":"7"})"),
       "settings import: value 0: a dword value"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"string","value":"a\u0000b"})"),
       "settings import: value 0: a string value must be a string without zero characters"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"string","value":"x","data":"00"})"),
       "settings import: value 0: needs exactly one of 'value' and 'data'"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"","kind":"dword","value":1})"),
       "settings import: value 0: name must be a non-empty string"},
      {FileWithValue(R"({"key":"Software\\VELTA","name":"A","kind":"dword","value":1})"),
       "settings import: value 0: key must be Software\\VELTA\\Strix-C\\1.0 or a key below it"},
      {FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"A","kind":"dword","value":1},)"
                     R"({"key":"software\\velta\\strix-c\\1.0","name":"a","kind":"string","value":"x"})"),
       "settings import: value 1: a value of that key and name comes earlier"},
  };
  for (const auto& c : cases) {
    const Result r = Tool({"import", "-", "--profile", Profile("b")}, c.file);
    EXPECT_EQ(r.exitCode, 6) << c.file.toStdString();
    EXPECT_TRUE(r.err.startsWith(c.message)) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
  ExpectSameTree(ExportOf("b"), before);

  const Result missing = Tool({"import", dir_.filePath("missing.json"), "--profile", Profile("b")});
  EXPECT_EQ(missing.exitCode, 6);
  EXPECT_TRUE(missing.err.startsWith("settings import: cannot read")) << missing.err.toStdString();
  EXPECT_EQ(Tool({"import", "--profile", Profile("b")}).exitCode, 1);
  EXPECT_EQ(Tool({"rename", "x"}).exitCode, 1);
  ExpectSameTree(ExportOf("b"), before);
}

TEST_F(SettingsToolTest, AMinimalFileReplacesTheTree) {
  FillProfile("b");
  const Result r = Tool({"import", "-", "--profile", Profile("b")},
                        FileWithValue(R"({"key":"Software\\VELTA\\Strix-C\\1.0","name":"Language","kind":"dword","value":4})"));
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const Tree after = ExportOf("b");
  ASSERT_EQ(after.values.size(), 1u);
  EXPECT_EQ(after.values[0].data, std::string("\x04\0\0\0", 4));
  EXPECT_EQ(after.keys, (std::vector<std::string>{"Software", "Software\\VELTA", "Software\\VELTA\\Strix-C",
                                                  "Software\\VELTA\\Strix-C\\1.0"}));
}

}  // namespace
