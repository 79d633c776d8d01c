// The parts the two wave engines are built from, in one include: device-call
// tables, buffer ring, error reporting, worker thread, engine lock, the
// handling of their window messages, their state and the atomics of their
// run-state records.
#pragma once

#include "audio/MMBufferRing.h"
#include "audio/MMDeviceCalls.h"
#include "audio/MMEngineErrors.h"
#include "audio/MMEngineLock.h"
#include "audio/MMEngineState.h"
#include "audio/MMEngineWindow.h"
#include "audio/MMEngineWorker.h"
#include "audio/MMSharedValue.h"
