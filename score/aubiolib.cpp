#include "score/aubiolib.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

#include "score/scoreerror.h"

namespace score {

namespace {

template <typename F>
void Resolve(void* library, const char* name, F& call) {
  call = reinterpret_cast<F>(dlsym(library, name));
  if (!call) throw EScoreError(std::string("the pitch library " TL_AUBIO_SONAME " has no ") + name);
}

AubioCalls Load() {
  // Kept for the life of the process, like a library linked in.
  void* library = dlopen(TL_AUBIO_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    throw EScoreError(std::string("cannot load the pitch library " TL_AUBIO_SONAME ": ") + (why ? why : "unknown error"));
  }
  AubioCalls c{};
  Resolve(library, "new_aubio_pitch", c.newPitch);
  Resolve(library, "del_aubio_pitch", c.delPitch);
  Resolve(library, "aubio_pitch_do", c.pitchDo);
  Resolve(library, "aubio_pitch_set_unit", c.setUnit);
  Resolve(library, "aubio_pitch_set_silence", c.setSilence);
  Resolve(library, "aubio_pitch_get_confidence", c.getConfidence);
  Resolve(library, "new_fvec", c.newFvec);
  Resolve(library, "del_fvec", c.delFvec);
  return c;
}

}  // namespace

namespace {
std::atomic<bool> gLoaded{false};
}  // namespace

const AubioCalls& Aubio() {
  // A failed load raises from call_once and is tried again by the next call.
  static AubioCalls calls;
  static std::once_flag once;
  std::call_once(once, [] {
    calls = Load();
    gLoaded = true;
  });
  return calls;
}

bool AubioLoaded() { return gLoaded.load(); }

}  // namespace score
