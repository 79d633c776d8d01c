// The program's recorder settings, shared by the window, the command line and
// the recording tests, so that a take is made the same way everywhere.
#pragma once

class TMMWaveRecorder;

// 16-bit stereo at SampleRate in 20 buffers of 3048 bytes, delivered as
// window messages (the main thread writes the file), positions in bytes, no
// recording limit. An existing file is written into at its position unless
// the caller sets OverwriteExisting; a missing one is created.
void ConfigureTakeRecorder(TMMWaveRecorder& Recorder, int SampleRate = 44100);
