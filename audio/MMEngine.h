// The parts the two wave engines are built from, in one include: device-call
// tables, buffer ring, error reporting, worker thread, engine lock and the
// atomics of their run-state records.
#pragma once

#include "audio/MMBufferRing.h"
#include "audio/MMDeviceCalls.h"
#include "audio/MMEngineErrors.h"
#include "audio/MMEngineLock.h"
#include "audio/MMEngineWorker.h"
#include "audio/MMSharedValue.h"
