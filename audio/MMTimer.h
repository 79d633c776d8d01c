// The shared 25 ms tick: one periodic multimedia timer serves every component
// that needs a slow, regular tick off the main thread (the level meters' peak
// fall-back, the connector's pause timer). Clients subscribe with an interval
// of at least 25 ms; the platform timer runs only while a subscription exists.
#pragma once

#include <functional>

#include "platform/mmsystem.h"

struct TMMTimerClient;
using PMMTimerClient = TMMTimerClient*;

// Called on the timer's thread while the service's lock is held: keep it
// short, and do not subscribe, pause, resume or unsubscribe from it.
using TMMTimerCallback = std::function<void(PMMTimerClient Client, void* Owner)>;

constexpr int MMTimerPeriod = 25;  // ms

// A new subscription (in subscription order), paused once if `paused`.
// Intervals below 25 ms are raised to 25. Returns nullptr when the platform
// timer cannot be created. Main thread.
PMMTimerClient MMTimerSubscribe(int intervalMs, bool paused, TMMTimerCallback callback, void* owner);
// Each pause needs its own resume; a pause restarts the elapsed time. Do
// nothing for a handle that is not subscribed.
void MMTimerPause(PMMTimerClient client);
void MMTimerResume(PMMTimerClient client);
// Ends the subscription; the handle becomes invalid. The last one stops the
// platform timer. Does nothing for a handle that is not subscribed.
void MMTimerUnsubscribe(PMMTimerClient client);

// One tick of the service, as the platform timer calls it every 25 ms. A tick
// that arrives while another is still running is dropped.
void MMTimerTick();
// Live subscriptions, and the platform timer's id (0 when none runs).
int MMTimerClientCount();
UINT MMTimerId();
