#include "cli/CommandLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "cli/commands.h"
#include "cli/debuglog.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/stopsignals.h"
#include "cli/texts.h"
#include "platform/language/language.h"
#include "platform/language/messages.h"
#include "platform/sequencer/mci.h"
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
    {"lyrics", cli::RunLyrics, cli::LyricsHelp},
    {"score", cli::RunScore, cli::ScoreHelp},
};

bool IsHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "help") == 0;
}

const TSubCommand* Find(const char* name) {
  for (const TSubCommand& c : kCommands)
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

// A file for the window to open. A word without a dot or a slash that names
// no file is taken for a mistyped command.
bool IsFileArgument(const char* arg) {
  if (*arg == '\0' || *arg == '-' || IsHelp(arg) || Find(arg)) return false;
  return std::strchr(arg, '/') || std::strchr(arg, '.') || QFileInfo::exists(QFile::decodeName(arg));
}

bool WantsWindow(int argc, char** argv) { return argc == 1 || (argc == 2 && IsFileArgument(argv[1])); }

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Whether Qt can show a window here: an X or Wayland display, or a platform
// plugin that needs none.
bool HasDisplay() {
  const QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
  if (platforms.isEmpty()) return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
  for (const QByteArray& entry : platforms.split(';')) {
    const QByteArray name = entry.split(':').first().trimmed();  // "vnc:size=800x600"
    if (name == "xcb" && IsSet("DISPLAY")) return true;
    if (name.startsWith("wayland") && IsSet("WAYLAND_DISPLAY")) return true;
    for (const char* own : {"offscreen", "minimal", "minimalegl", "vnc", "eglfs", "linuxfb", "vkkhrdisplay"})
      if (name == own) return true;
  }
  return false;
}

void WriteHelp(const QString& text, std::FILE* to) { std::fputs(text.toUtf8().constData(), to); }

// Bad usage of the program as a whole: the reason, then the usage.
int BadUsage(const QString& reason) {
  cli::PrintErr(QStringLiteral("tunelark: ") + reason);
  WriteHelp(cli::MainHelp(), stderr);
  return 2;
}

// A failure's text on one line: the components' texts in the interface's
// language, a file's name and reason (a second line) after a colon.
QString OneLine(const char* what) {
  QString joined;
  for (const QString& part : language::Message(QString::fromUtf8(what)).split(QLatin1Char('\n'))) {
    const QString line = part.simplified();
    if (line.isEmpty()) continue;
    if (!joined.isEmpty()) joined += joined.endsWith(QLatin1Char(':')) ? QStringLiteral(" ") : QStringLiteral(": ");
    joined += line;
  }
  return joined;
}

}  // namespace

int TakeLanguageOption(int& argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = nullptr;
    int used = 1;
    if (std::strncmp(arg, "--lang=", 7) == 0) {
      value = arg + 7;
    } else if (std::strcmp(arg, "--lang") == 0) {
      value = i + 1 < argc ? argv[i + 1] : "";
      used = i + 1 < argc ? 2 : 1;
    } else {
      continue;
    }
    if (!language::Choose(QString::fromLocal8Bit(value))) {
      const QString text = cli::Tr("tunelark: --lang is zh or en", "tunelark: --lang 只能是 zh 或 en");
      std::fprintf(stderr, "%s\n", text.toUtf8().constData());
      return 2;
    }
    for (int j = i; j + used <= argc; ++j) argv[j] = argv[j + used];
    argc -= used;
    --i;
  }
  return 0;
}

bool StartsWindow(int argc, char** argv) { return WantsWindow(argc, argv) && HasDisplay(); }

int RunCommandLine(int argc, char** argv) {
  cli::RouteLibraryMessages();
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Tunelark"));
  // The window's saved choice is its own: the command line follows --lang
  // and the locale, as a script expects.
  language::Install(app, false);
  // The service's texts in the language of the command's own.
  mciUseEnglishTexts(!cli::ChineseLocale());
  if (WantsWindow(argc, argv)) {
    cli::PrintErr(cli::Tr("tunelark: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not set); "
                          "without one, record with 'tunelark record' (see 'tunelark --help')",
                          "tunelark: 主窗口需要显示器(没有设置 DISPLAY 或 WAYLAND_DISPLAY); "
                          "没有显示器时请用 'tunelark record' 录音(见 'tunelark --help')"));
    return 1;
  }
  if (IsHelp(argv[1])) {
    WriteHelp(cli::MainHelp(), stdout);
    return 0;
  }
  const TSubCommand* found = Find(argv[1]);
  if (!found) {
    const QString arg = QString::fromLocal8Bit(argv[1]);
    if (arg.startsWith(QLatin1Char('-'))) return BadUsage(cli::Tr("unknown option: %1", "未知的选项: %1").arg(arg));
    if (IsFileArgument(argv[1]))
      return BadUsage(cli::Tr("unexpected argument: %1", "多余的参数: %1").arg(QString::fromLocal8Bit(argv[2])));
    return BadUsage(cli::Tr("unknown command: %1", "未知的命令: %1").arg(arg));
  }
  const TSubCommand& command = *found;
  const QStringList args = QCoreApplication::arguments().mid(2);
  if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
    WriteHelp(command.help(), stdout);
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
    const QString reason = OneLine(e.what());
    cli::PrintErr(QStringLiteral("tunelark %1: %2").arg(QString::fromLatin1(command.name), reason));
    code = 1;
  }
  SetApplicationTerminated(true);
  return code;
}
