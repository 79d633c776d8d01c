#include "platform/soundcard/quiethost.h"

#include <alsa/asoundlib.h>
#include <rtaudio/RtAudio.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace soundcard {

namespace {

// ALSA's messages: dropped, or one debugging line each.
void AlsaMessage(const char* file, int line, const char* function, int error, const char* format, ...) {
  if (!DebugLogging()) return;
  std::fprintf(stderr, "tunelark debug: ALSA %s:%d (%s): ", file, line, function);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  if (error != 0) std::fprintf(stderr, ": %s", snd_strerror(error));
  std::fputc('\n', stderr);
}

void RtAudioMessage(RtAudioError::Type, const std::string& text) {
  if (DebugLogging()) std::fprintf(stderr, "tunelark debug: RtAudio: %s\n", text.c_str());
}

}  // namespace

bool DebugLogging() {
  const char* env = std::getenv("TUNELARK_DEBUG");
  return env && *env && std::strcmp(env, "0") != 0;
}

std::unique_ptr<RtAudio> MakeQuietRtAudio() {
  static std::once_flag alsa;
  std::call_once(alsa, [] { snd_lib_error_set_handler(&AlsaMessage); });
  std::vector<RtAudio::Api> apis;
  RtAudio::getCompiledApi(apis);
  std::unique_ptr<RtAudio> chosen;
  for (RtAudio::Api api : apis) {
    try {
      // Made for one API, RtAudio probes nothing until asked.
      auto audio = std::make_unique<RtAudio>(api);
      audio->showWarnings(false);
      const bool hasDevices = audio->getDeviceCount() > 0;
      chosen = std::move(audio);
      if (hasDevices) break;
    } catch (const RtAudioError& e) {
      RtAudioMessage(e.getType(), e.getMessage());
    }
  }
  return chosen;
}

}  // namespace soundcard
