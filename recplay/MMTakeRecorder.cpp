#include "recplay/MMTakeRecorder.h"

#include "recplay/MMWRec.h"

void ConfigureTakeRecorder(TMMWaveRecorder& Recorder, int SampleRate) {
  Recorder.Wave()->SetTimeFormat(tfByte);
  Recorder.Wave()->SetFileMustExist(false);
  Recorder.SetBufferSize(3048);
  Recorder.SetNumBuffers(20);
  Recorder.SetDeviceID(MapperId);
  Recorder.SetTimeFormat(tfByte);
  Recorder.SetCallBackMode(cmWindow);
  Recorder.SetMaxRecordTime(-1);
  Recorder.SetMode(mStereo);
  Recorder.SetBitLength(b16Bit);
  Recorder.SetSampleRate(SampleRate);
  Recorder.SetOverwriteExisting(false);
}
