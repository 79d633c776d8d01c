#include "cli/CommandLine.h"

#include <QCoreApplication>
#include <cstring>
#include <exception>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/stopsignals.h"
#include "cli/texts.h"
#include "platform/winmsg/winmsg.h"

namespace {

struct TSubCommand {
  const char* name;
  int (*run)(const QStringList& args);
  QString (*help)();
};

const TSubCommand kCommands[] = {
    {"record", cli::RunRecord, cli::RecordHelp},
    {"convert", cli::RunConvert, cli::ConvertHelp},
    {"play", cli::RunPlay, cli::PlayHelp},
    {"devices", cli::RunDevices, cli::DevicesHelp},
};

bool IsHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "help") == 0;
}

const TSubCommand* Find(const char* name) {
  for (const TSubCommand& c : kCommands)
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

void WriteHelp(const QString& text) { std::fputs(text.toUtf8().constData(), stdout); }

}  // namespace

bool IsCommandLine(int argc, char** argv) { return argc >= 2 && (IsHelp(argv[1]) || Find(argv[1])); }

int RunCommandLine(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Tunelark"));
  const QStringList all = QCoreApplication::arguments();
  if (IsHelp(argv[1])) {
    WriteHelp(cli::MainHelp());
    return 0;
  }
  const TSubCommand& command = *Find(argv[1]);
  const QStringList args = all.mid(2);
  if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
    WriteHelp(command.help());
    return 0;
  }
  // From here on Ctrl+C is a request the command answers (a take is
  // finished, temporary files are removed), never a sudden end.
  cli::InstallStopSignals();
  int code = 1;
  try {
    code = command.run(args);
  } catch (const cli::ECliUsage& e) {
    cli::PrintErr(QStringLiteral("tunelark %1: %2").arg(QString::fromLatin1(command.name), QString::fromUtf8(e.what())));
    cli::PrintErr(cli::Tr("Run 'tunelark %1 --help' for its options.", "用 'tunelark %1 --help' 查看选项。")
                      .arg(QString::fromLatin1(command.name)));
    code = 2;
  } catch (const std::exception& e) {
    // One line: a multi-line device error is joined.
    QString reason = QString::fromUtf8(e.what()).simplified();
    cli::PrintErr(QStringLiteral("tunelark %1: %2").arg(QString::fromLatin1(command.name), reason));
    code = 1;
  }
  SetApplicationTerminated(true);
  return code;
}
