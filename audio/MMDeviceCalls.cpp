#include "audio/MMDeviceCalls.h"

#include "platform/soundcard/soundcard.h"
#include "platform/soundcard/waveout.h"

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
