#include "cli/accompaniment.h"

#include "cli/debuglog.h"
#include "cli/options.h"
#include "cli/outputfile.h"
#include "cli/texts.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"

namespace cli {

namespace {
// Loading a large soundfont on a slow machine takes seconds, not minutes.
constexpr int kSettleTimeoutMs = 120000;
}  // namespace

sequencer::KeyTempo KeyTempoOptions(const TParsedArgs& parsed) {
  using sequencer::KeyTempo;
  KeyTempo kt;
  if (parsed.Has("key")) kt.key = IntValue(parsed, "key", KeyTempo::kMinKey, KeyTempo::kMaxKey);
  if (parsed.Has("tempo")) kt.tempo = IntValue(parsed, "tempo", KeyTempo::kMinTempo, KeyTempo::kMaxTempo);
  return kt;
}

bool HasKeyTempoOptions(const TParsedArgs& parsed) { return parsed.Has("key") || parsed.Has("tempo"); }

void OpenAccompaniment(TMediaPlayer& player, const QString& path, const sequencer::KeyTempo& kt) {
  CheckInputFile(path);
  sequencer::StartSoundfontLoading();
  player.SetTimeFormat(tfMilliseconds);
  player.FileName = path;
  try {
    // Opening an MP3 lets its decoder note what it finds amiss.
    TLibraryOutputOff quiet;
    player.Open();
  } catch (const EMCIDeviceError& e) {
    throw ECliFailure(Tr("cannot open the accompaniment %1: %2", "无法打开伴奏 %1: %2")
                          .arg(path, QString::fromUtf8(e.what())));
  }
  sequencer::SetKeyTempo(player.DeviceID(), kt);
  if (!sequencer::WaitDevicesSettled(kSettleTimeoutMs))
    throw ECliFailure(Tr("the accompaniment %1 cannot sound: no soundfont could be loaded",
                         "伴奏 %1 无法发声: 没有可用的音色库")
                          .arg(path));
}

}  // namespace cli
