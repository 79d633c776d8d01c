// The audio component chain, whole: the shared enumerations and device ids
// (MMTypes.h), the wave format rules (platform/waveformat.h), the buffer
// record (MMBuffer.h), the component framework (MMComponent.h), the chain
// base TMMDSPComponent with the device base TMMCustomSoundComponent
// (MMChain.h) and the worker-thread base TMMDSPThread (MMDSPThread.h).
// Include the one part a file needs, or this header for all of them.
#pragma once

#include "audio/MMBuffer.h"
#include "audio/MMChain.h"
#include "audio/MMComponent.h"
#include "audio/MMDSPThread.h"
#include "audio/MMTypes.h"
#include "platform/waveformat.h"
