// strixc started as a control-room PC starts it, with nobody at the screen: it must never wait on a
// dialog, and with --record it must record.

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace {

constexpr int kPolish = 3;

class UnattendedStartTest : public ::testing::Test {
 protected:
  // Runs strixc offscreen in `language` (the system's locale) and waits up to a minute for it.
  int Station(const QStringList& arguments, const QString& language, QByteArray* err) {
    QProcess station;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LANG", language);
    environment.remove("LC_ALL");
    environment.remove("LC_MESSAGES");
    station.setProcessEnvironment(environment);
    station.start(QStringLiteral(STRIXC), QStringList{"--profile", profile_.path()} + arguments);
    const bool ended = station.waitForFinished(60000);
    if (!ended) station.kill();
    EXPECT_TRUE(ended) << "strixc still runs: it waits on something";
    station.waitForFinished(5000);
    *err = station.readAllStandardError();
    return ended ? station.exitCode() : -1;
  }

  int Tool(const QStringList& arguments, QByteArray* out) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    *out = tool.readAllStandardOutput();
    return tool.exitCode();
  }

  uint32_t StoredLanguage() {
    strixc::settings::SettingsDatabase db;
    db.Open(strixc::settings::SettingsDatabase::DefaultPath(profile_.path().toStdString()));
    uint32_t language = 0xFFFF;
    strixc::settings::SettingsKey(db).ReadDword("Language", &language);
    return language;
  }

  QTemporaryDir profile_;
};

TEST_F(UnattendedStartTest, QuitAfterOnANewProfileTakesTheSystemsLanguageAndEnds) {
  QByteArray err;
  EXPECT_EQ(Station({"--quit-after", "2"}, "pl_PL.UTF-8", &err), 0) << err.toStdString();
  EXPECT_EQ(StoredLanguage(), static_cast<uint32_t>(kPolish));
}

TEST_F(UnattendedStartTest, RecordWithFourParametersMakesTheArchiveAndRecordsInTheSystemsLanguage) {
  QProcess sim;
  sim.start(QStringLiteral(STRIXC_SIM), {"--port", "0", "--cameras", "2", "--fps", "25"});
  ASSERT_TRUE(sim.waitForReadyRead(10000));
  const QString port = QString::number(QJsonDocument::fromJson(sim.readLine()).object().value("port").toInt());

  QByteArray err;
  EXPECT_EQ(Station({"--record", "--quit-after", "4", "demo", "demo", "127.0.0.1", port}, "fr_FR.UTF-8", &err), 0)
      << err.toStdString();
  sim.terminate();
  sim.waitForFinished(5000);

  const QString archive = QDir(profile_.path()).filePath("FilesStrixC");
  QByteArray out;
  EXPECT_EQ(Tool({"archive", "verify", archive}, &out), 0) << out.toStdString();
  ASSERT_EQ(Tool({"archive", "dump", archive, "--camera", "0"}, &out), 0);
  EXPECT_GT(out.count("\"type\":\"key\""), 0) << "frames were recorded";
  EXPECT_EQ(out.count("Enregistrement activ"), 1) << out.left(400).toStdString();
}

}  // namespace
