// tunelark devices: what `record` would play through and record from (the
// card is started for that, so a sound server's round trip is measured on
// its running streams), the host's audio devices, the virtual device and
// the soundfonts, each marked when it is the one in use.
#include "cli/backend.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/texts.h"
#include "platform/sequencer/soundfonts.h"
#include "platform/soundcard/cardcontrol.h"

namespace cli {

int RunDevices(const QStringList& args) {
  const TParsedArgs p = ParseArgs(args, {});
  if (!p.positional.isEmpty())
    throw ECliUsage(Tr("unexpected argument: %1", "多余的参数: %1").arg(p.positional.first()));

  const QString inUse = Tr("in use", "使用中");
  const soundcard::CardBackend backend = soundcard::CardBackendInUse();
  const bool host = backend.clock == soundcard::Clock::Host;
  PrintOut(Tr("Recording uses %1", "录音使用 %1").arg(DescribeBackend(backend)));
  PrintOut(CompensationLine(backend));

  PrintOut(Tr("Audio devices of this computer:", "本机音频设备:"));
  const auto devices = soundcard::HostDevices();
  if (devices.empty()) PrintOut(Tr("  (none)", "  (无)"));
  for (const soundcard::HostDevice& d : devices) {
    QStringList marks;
    if (d.defaultInput) marks << Tr("default input", "默认输入");
    if (d.defaultOutput) marks << Tr("default output", "默认输出");
    const bool usedIn = host && d.inputChannels > 0 && backend.input == d.name;
    const bool usedOut = host && d.outputChannels > 0 && backend.output == d.name;
    if (usedIn || usedOut) marks << inUse;
    PrintOut(Tr("  %1 (in %2, out %3)%4", "  %1 (输入 %2, 输出 %3)%4")
                 .arg(QString::fromStdString(d.name))
                 .arg(d.inputChannels)
                 .arg(d.outputChannels)
                 .arg(marks.isEmpty() ? QString() : QStringLiteral(" [") + marks.join(QStringLiteral(", ")) +
                                                          QLatin1Char(']')));
  }
  PrintOut(Tr("Virtual device:", "虚拟设备:"));
  PrintOut(QStringLiteral("  %1%2").arg(QString::fromUtf8(soundcard::VirtualDeviceName()),
                                        host ? QString() : QStringLiteral(" [") + inUse + QLatin1Char(']')));

  PrintOut(Tr("Soundfonts:", "音色库:"));
  const auto installed = sequencer::InstalledSoundfonts();
  const auto candidates = sequencer::SoundfontCandidates();
  // The synthesizer loads the first candidate.
  const std::string used = candidates.empty() ? std::string() : candidates.front();
  bool listed = false;
  for (const std::string& path : installed) {
    PrintOut(QStringLiteral("  %1%2").arg(QString::fromStdString(path),
                                          path == used ? QStringLiteral(" [") + inUse + QLatin1Char(']') : QString()));
    listed = listed || path == used;
  }
  if (!used.empty() && !listed)
    PrintOut(QStringLiteral("  %1 [%2]").arg(QString::fromStdString(used), inUse));
  if (installed.empty() && used.empty()) PrintOut(Tr("  (none: MIDI accompaniments cannot sound)", "  (无: MIDI 伴奏无法发声)"));
  return 0;
}

}  // namespace cli
