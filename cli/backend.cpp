#include "cli/backend.h"

#include <cstdlib>

#include "cli/texts.h"
#include "platform/soundcard/latency.h"

namespace cli {

namespace {

QString Device(const std::string& name) {
  return name.empty() ? Tr("none", "无") : QString::fromStdString(name);
}

QString Ms(double frames) { return QString::number(soundcard::MsOfFrames(frames), 'f', 1); }

}  // namespace

QString DescribeBackend(const soundcard::CardBackend& b) {
  using Why = soundcard::CardBackend::Why;
  if (b.clock == soundcard::Clock::Host && b.soundServer)
    return Tr("sound server %1, output %2, input %3", "声音服务器 %1, 输出 %2, 输入 %3")
        .arg(QString::fromStdString(b.server), Device(b.output), Device(b.input));
  if (b.clock == soundcard::Clock::Host)
    return Tr("audio device, output %1, input %2", "音频设备, 输出 %1, 输入 %2").arg(Device(b.output), Device(b.input));
  const char* in = std::getenv("TUNELARK_AUDIO_IN");
  const QString device = in && *in ? Tr("the virtual device", "虚拟设备")
                                   : Tr("the virtual device with a silent microphone", "虚拟设备 (麦克风无声)");
  QString why;
  switch (b.why) {
    case Why::Asked: why = QStringLiteral("TUNELARK_AUDIO=virtual"); break;
    case Why::Chosen: why = Tr("chosen in the device settings", "在设备设置中选择"); break;
    case Why::NoHost:
      why = Tr("no sound server answered and no audio device could be opened", "没有声音服务器应答, 也无法打开音频设备");
      break;
  }
  return QStringLiteral("%1 (%2)").arg(device, why);
}

QString CompensationLine(const soundcard::CardBackend& b) {
  const std::uint32_t inForce = soundcard::LatencyCompensation() ? soundcard::RoundTripFrames() : 0;
  const std::uint32_t reported = soundcard::ReportedRoundTripFrames();
  const int offset = soundcard::LatencyOffsetMs();
  QString source;
  if (b.clock == soundcard::Clock::Host && b.soundServer)
    source = Tr("round trip %1 ms as the sound server times its streams", "声音服务器测得的往返延迟 %1 毫秒").arg(Ms(reported));
  else if (b.clock == soundcard::Clock::Host)
    source = Tr("round trip %1 ms as the audio device reports it", "音频设备报告的往返延迟 %1 毫秒").arg(Ms(reported));
  else
    source = Tr("round trip %1 ms of the virtual device", "虚拟设备的往返延迟 %1 毫秒").arg(Ms(reported));
  if (offset != 0) source += Tr(", correction %1 ms", ", 校正 %1 毫秒").arg(offset);
  return Tr("Latency compensation %1 ms (%2)", "延迟补偿 %1 毫秒 (%2)").arg(Ms(inForce), source);
}

}  // namespace cli
