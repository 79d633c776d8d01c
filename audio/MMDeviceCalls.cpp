#include "audio/MMDeviceCalls.h"

#include "platform/soundcard/soundcard.h"

TMMWaveInFunctions MMWaveInDeviceCalls() {
  TMMWaveInFunctions f;
  f.GetNumDevs = &waveInGetNumDevs;
  f.GetDevCaps = &waveInGetDevCaps;
  f.GetErrorText = &waveInGetErrorText;
  f.Open = &waveInOpen;
  f.Close = &waveInClose;
  f.PrepareHeader = &waveInPrepareHeader;
  f.UnprepareHeader = &waveInUnprepareHeader;
  f.Reset = &waveInReset;
  f.GetPosition = &waveInGetPosition;
  f.GetID = &waveInGetID;
  f.AddBuffer = &waveInAddBuffer;
  f.Start = &waveInStart;
  f.Stop = &waveInStop;
  f.EnableVoice = &waveInEnableVoice;
  f.ReadVoice = &waveInReadVoice;
  return f;
}

TMMWaveOutFunctions MMWaveOutDeviceCalls() {
  TMMWaveOutFunctions f;
  f.GetNumDevs = &waveOutGetNumDevs;
  f.GetDevCaps = &waveOutGetDevCapsA;
  f.GetErrorText = &waveOutGetErrorTextA;
  f.Open = &waveOutOpen;
  f.Close = &waveOutClose;
  f.PrepareHeader = &waveOutPrepareHeader;
  f.UnprepareHeader = &waveOutUnprepareHeader;
  f.Reset = &waveOutReset;
  f.GetPosition = &waveOutGetPosition;
  f.GetID = &waveOutGetID;
  f.Write = &waveOutWrite;
  f.Pause = &waveOutPause;
  f.Restart = &waveOutRestart;
  f.NotifyDrained = &waveOutNotifyDrained;
  return f;
}

bool MMCapsAllowFormat(DWORD formats, const WAVEFORMATEX& format) {
  // The capability rows are chosen by the rate's low 16 bits, as the
  // device's capability words were defined for rates that fit in them.
  const DWORD rate = format.nSamplesPerSec & 0xFFFF;
  DWORD row;
  if (rate >= 8000 && rate <= 11025)
    row = WAVE_FORMAT_1M08;
  else if (rate >= 11026 && rate <= 22050)
    row = WAVE_FORMAT_2M08;
  else if (rate >= 22051 && rate <= 48000)
    row = WAVE_FORMAT_4M08;
  else
    return true;
  const bool stereo = format.nChannels == 2;
  const bool wide = format.wBitsPerSample == 16;
  if ((format.nChannels != 1 && !stereo) || (format.wBitsPerSample != 8 && !wide)) return true;
  const DWORD bit = row << ((stereo ? 1 : 0) + (wide ? 2 : 0));
  return (formats & bit) != 0;
}
