// The remembered choice of the card's input and output devices and of the
// round-trip correction, kept in the user's settings (as a system setting
// would be) and applied at the next start. Read by the engine when it picks
// its clock, written by the device sheet. Needs QtCore only.
#pragma once

#include <string>

namespace soundcard {

// The remembered choice, if any ("" = the host's default device).
bool RememberedDevices(std::string* input, std::string* output);
void RememberDevices(const std::string& input, const std::string& output);

// The user's round-trip correction in milliseconds, within
// ±kLatencyOffsetLimitMs; false when none is remembered.
constexpr int kLatencyOffsetLimitMs = 1000;
bool RememberedLatencyOffsetMs(int* ms);
void RememberLatencyOffsetMs(int ms);

}  // namespace soundcard
