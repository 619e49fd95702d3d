// Every program and every strixc-tool command answers --help and --version on a terminal without a
// display: a shell on a server, a packaging build making man pages, an operator reading the usage.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace {

struct Answer {
  int exitCode = -1;
  QString out;
  QString err;
};

// Runs `program` with no display and no Qt platform named, as on a server or in a build chroot.
Answer RunHeadless(const QString& program, const QStringList& arguments) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QString::fromUtf8(name));
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString();
  Answer answer;
  if (process.exitStatus() == QProcess::NormalExit) answer.exitCode = process.exitCode();
  answer.out = QString::fromUtf8(process.readAllStandardOutput());
  answer.err = QString::fromUtf8(process.readAllStandardError());
  return answer;
}

struct Case {
  QString program;
  QStringList command;   // the strixc-tool command, or nothing
  QString usage;         // how the help's first line starts
  QStringList options;   // options its help must list
};

// The usage line names the program (and command) as an operator types it, never by the build path
// it was started from: the man pages are made from this text.
const Case kCases[] = {
    {STRIXC, {}, "Usage: strixc [options]", {"--profile", "--demo", "--record", "--screenshot", "--quit-after", "--gallery"}},
    {STRIXC_SIM, {}, "Usage: strixc-sim [options]", {"--port", "--user", "--cameras", "--archive", "--history"}},
    {STRIXC_TOOL, {}, "Usage: strixc-tool COMMAND", {"probe", "snapshot", "dome", "settings", "archive", "record", "play", "map", "export"}},
    {STRIXC_TOOL, {"probe"}, "Usage: strixc-tool probe", {"--host", "--password", "--set-output", "--watch", "--encoding"}},
    {STRIXC_TOOL, {"snapshot"}, "Usage: strixc-tool snapshot", {"--camera", "--out", "--motion", "--frames", "--wall", "--layout"}},
    {STRIXC_TOOL, {"snapshot", "--wall", "x.png"}, "Usage: strixc-tool snapshot", {"--wall", "--layout", "--size", "--wait"}},
    {STRIXC_TOOL, {"settings"}, "Usage: strixc-tool settings export", {"--profile"}},
    {STRIXC_TOOL, {"archive"}, "Usage: strixc-tool archive create", {"--space-mb", "--min-file-number", "--yes", "--from"}},
    {STRIXC_TOOL, {"record"}, "Usage: strixc-tool record", {"--archive", "--seconds", "--space-mb", "--file-size-mb"}},
    {STRIXC_TOOL, {"play"}, "Usage: strixc-tool play", {"--at", "--cameras", "--mode", "--motion", "--bookmark", "--frames"}},
    {STRIXC_TOOL, {"map"}, "Usage: strixc-tool map", {"--from", "--to", "--width", "--profile"}},
    {STRIXC_TOOL, {"dome"}, "Usage: strixc-tool dome", {"--camera", "move", "recall", "browse", "absolute"}},
    {STRIXC_TOOL, {"export"}, "Usage: strixc-tool export", {"--camera", "--from", "--to", "--out", "--fps", "--codec"}},
};

TEST(HelpTest, EveryProgramAndCommandAnswersHelpWithoutADisplay) {
  for (const Case& c : kCases) {
    const std::string name = (QStringList{c.program.section('/', -1)} + c.command).join(' ').toStdString();
    const Answer answer = RunHeadless(c.program, c.command + QStringList{"--help"});
    EXPECT_EQ(answer.exitCode, 0) << name << ": " << answer.err.toStdString();
    EXPECT_TRUE(answer.out.startsWith(c.usage)) << name << ":\n" << answer.out.toStdString();
    for (const QString& option : c.options) {
      EXPECT_TRUE(answer.out.contains(option)) << name << " --help does not list " << option.toStdString();
    }
  }
}

TEST(HelpTest, EveryProgramAndCommandAnswersVersionWithoutADisplay) {
  // help2man takes the first line of --version as the program's name and version.
  const QRegularExpression versionLine(QStringLiteral("^(strixc|strixc-sim|strixc-tool) \\d+\\.\\d+\\S*\n$"));
  for (const Case& c : kCases) {
    const std::string name = (QStringList{c.program.section('/', -1)} + c.command).join(' ').toStdString();
    const Answer answer = RunHeadless(c.program, c.command + QStringList{"--version"});
    EXPECT_EQ(answer.exitCode, 0) << name << ": " << answer.err.toStdString();
    EXPECT_TRUE(versionLine.match(answer.out).hasMatch()) << name << ": " << answer.out.toStdString();
  }
}

TEST(HelpTest, AWallOptionWithoutWallIsRefused) {
  // The snapshot help lists the wall form's options; the other forms must not take them silently.
  const Answer answer = RunHeadless(STRIXC_TOOL, {"snapshot", "--host", "127.0.0.1", "--port", "1", "--user", "u",
                                                  "--password", "p", "--camera", "0", "--out", "x.jpg", "--layout", "4"});
  EXPECT_EQ(answer.exitCode, 1);
  EXPECT_TRUE(answer.err.contains("--layout goes with --wall")) << answer.err.toStdString();
}

}  // namespace
