// Multimedia timers and clocks over std::chrono and std::thread.
#pragma once

#include <cstdint>

#include "platform/mmsystem.h"

constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;
constexpr UINT TIME_CALLBACK_FUNCTION = 0x0000;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

// Called on the timer's own thread.
using LPTIMECALLBACK = void (*)(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1,
                                DWORD_PTR dw2);

// Starts a timer that calls `proc` every `delay` ms (TIME_PERIODIC) or once.
// Deadlines are absolute, so a periodic timer does not drift. Returns 0 on
// failure, else the timer's id.
UINT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK proc, DWORD_PTR user, UINT flags);
// Stops the timer and waits until its callback is no longer running (unless
// called from that callback).
MMRESULT timeKillEvent(UINT id);
// Kept for the callers' symmetry; they only count here.
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
int timePeriodCount();
// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD timeGetTime();
// Microsecond performance counter.
bool QueryPerformanceFrequency(std::int64_t* frequency);
bool QueryPerformanceCounter(std::int64_t* counter);
