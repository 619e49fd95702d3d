// The command line of strixc-sim: defaults, every option, bad values and the value parsers.

#include "sim/sim_command_line.h"

#include <gtest/gtest.h>

#include <QHostAddress>

namespace strixc::sim {
namespace {

QStringList Args(std::initializer_list<const char*> list) {
  QStringList args{QStringLiteral("strixc-sim")};
  for (const char* a : list) args << QString::fromUtf8(a);
  return args;
}

TEST(SimCommandLineTest, EveryOptionIsTaken) {
  SimCommandLine line;
  ASSERT_EQ(line.Parse(Args({"--listen",  "0.0.0.0",
                             "--port",    "0",
                             "--user",    "a:b:c",
                             "--user",    "x:",
                             "--cameras", "4",
                             "--size",    "640x480",
                             "--fps",     "25",
                             "--name",    "Box",
                             "--domes",   "0x3",
                             "--events",  "--archive",
                             "/tmp/a",    "--history",
                             "2h",        "--input-period",
                             "0",         "--protocol-version",
                             "6",         "--freeze",
                             "2:10",      "--freeze",
                             "16:5+20",   "--record",
                             "--bookmarks-readonly", "--verbose"})),
            SimCommandLine::Result::kRun)
      << line.ErrorText().toStdString();
  const SimConfig& c = line.Config();
  EXPECT_EQ(c.listenAddress, QHostAddress(QHostAddress::AnyIPv4));
  EXPECT_EQ(c.videoPort, 0);
  ASSERT_EQ(c.users.size(), 2u);
  EXPECT_EQ(c.users[0].password, "b:c");
  EXPECT_EQ(c.users[1].password, "");
  EXPECT_EQ(c.cameraCount, 4);
  EXPECT_EQ(c.cameraWidth, 640);
  EXPECT_EQ(c.cameraHeight, 480);
  EXPECT_EQ(c.fps, 25);
  EXPECT_EQ(c.serverName, "Box");
  EXPECT_EQ(c.domeMask, 3u);
  EXPECT_TRUE(c.events);
  EXPECT_EQ(c.archiveDir, QStringLiteral("/tmp/a"));
  EXPECT_EQ(c.history, std::chrono::hours(2));
  EXPECT_TRUE(c.record);
  EXPECT_TRUE(c.bookmarksReadOnly);
  EXPECT_TRUE(c.verbose);
  EXPECT_EQ(c.inputPeriodMs, 0);
  EXPECT_EQ(c.protocolVersion, 6u);
  ASSERT_EQ(c.freezes.size(), 2u);
  EXPECT_EQ(c.freezes[0].camera, 1);
  EXPECT_EQ(c.freezes[0].duration, std::chrono::seconds(10));
  EXPECT_EQ(c.freezes[0].delay, std::chrono::seconds(0));
  EXPECT_EQ(c.freezes[1].camera, 15);
  EXPECT_EQ(c.freezes[1].delay, std::chrono::seconds(20));
}

TEST(SimCommandLineTest, BadValuesAreErrors) {
  for (const auto& args :
       {Args({"--port", "65535"}), Args({"--cameras", "17"}), Args({"--size", "100"}),
        Args({"--size", "8x8"}), Args({"--fps", "0"}), Args({"--domes", "0x1ffff"}), Args({"--domes", "-1"}),
        Args({"--listen", "localhost"}), Args({"--history", "3w"}),
        Args({"--name", "012345678901234567890123456789"}), Args({"--unknown"}), Args({"stray"}),
        Args({"--freeze", "0:5"}), Args({"--freeze", "17:5"}), Args({"--freeze", "2:0"}), Args({"--freeze", "2"}),
        Args({"--freeze", "2:5+x"}), Args({"--record"}), Args({"--bookmarks-readonly"}),
        Args({"--history", "1h"})}) {
    SimCommandLine line;
    EXPECT_EQ(line.Parse(args), SimCommandLine::Result::kError) << args.join(' ').toStdString();
    EXPECT_FALSE(line.ErrorText().isEmpty());
  }
}

TEST(SimCommandLineTest, NamesAreCountedInTheChosenCodePage) {
  std::string twentyNineS;  // 58 bytes of UTF-8, 29 of Windows-1250
  for (int i = 0; i < 29; ++i) twentyNineS += "ś";
  SimCommandLine line;
  ASSERT_EQ(line.Parse(Args({"--encoding", "Windows-1250", "--camera-name", "2=Wejście", "--name",
                             twentyNineS.c_str(), "--user", "Józef:hasło"})),
            SimCommandLine::Result::kRun)
      << line.ErrorText().toStdString();
  const SimConfig& c = line.Config();
  EXPECT_EQ(c.CameraName(1), "Wejście");
  EXPECT_EQ(c.CameraName(0), SimConfig::DefaultCameraName(0));
  EXPECT_TRUE(c.Accepts({"J\xF3zef", "has\xB3o"})) << "the login arrives in the code page";
  EXPECT_FALSE(c.Accepts({"Józef", "hasło"}));

  for (const auto& args : {Args({"--encoding", "UTF-8"}), Args({"--encoding", "bogus"}),
                           Args({"--camera-name", "0=x"}), Args({"--camera-name", "17=x"}),
                           Args({"--camera-name", "x"}), Args({"--name", (twentyNineS + "s").c_str()})}) {
    EXPECT_EQ(line.Parse(args), SimCommandLine::Result::kError) << args.join(' ').toStdString();
  }
}

TEST(SimCommandLineTest, ErrorNeverShowsThePassword) {
  SimCommandLine line;
  ASSERT_EQ(line.Parse(Args({"--user", "secretwithoutcolon"})), SimCommandLine::Result::kError);
  EXPECT_FALSE(line.ErrorText().contains(QStringLiteral("secret")));
  ASSERT_EQ(line.Parse(Args({"--user", "me:012345678901234567890123456789secret"})),
            SimCommandLine::Result::kError);
  EXPECT_FALSE(line.ErrorText().contains(QStringLiteral("secret")));
}

TEST(SimCommandLineTest, ValueParsersAtTheirLimits) {
  EXPECT_EQ(SimCommandLine::ParseNumber(QStringLiteral("0xFFFFFFFF")), 0xFFFFFFFFu);
  EXPECT_FALSE(SimCommandLine::ParseNumber(QStringLiteral("0x100000000")));
  EXPECT_FALSE(SimCommandLine::ParseNumber(QStringLiteral("0x")));
  EXPECT_FALSE(SimCommandLine::ParseNumber(QStringLiteral("12a")));
  EXPECT_EQ(SimCommandLine::ParseDuration(QStringLiteral("0")), std::chrono::seconds(0));
  EXPECT_EQ(SimCommandLine::ParseDuration(QStringLiteral("90")), std::chrono::seconds(90));
  EXPECT_EQ(SimCommandLine::ParseDuration(QStringLiteral("7d")), std::chrono::hours(7 * 24));
  EXPECT_EQ(SimCommandLine::ParseDuration(QStringLiteral("3650d")), std::chrono::hours(3650 * 24));
  EXPECT_FALSE(SimCommandLine::ParseDuration(QStringLiteral("3651d")));
  EXPECT_FALSE(SimCommandLine::ParseDuration(QStringLiteral("d")));
  EXPECT_FALSE(SimCommandLine::ParseUser(QStringLiteral(":pw")));
}

}  // namespace
}  // namespace strixc::sim
