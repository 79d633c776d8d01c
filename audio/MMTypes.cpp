#include "audio/MMTypes.h"

#include <charconv>

// ---------------------------------------------------------------- device ids

std::string DeviceIdToIdent(TMMDeviceId id) {
  if (id == MapperId) return "MapperId";
  if (id == InvalidId) return "InvalidId";
  return std::to_string(id);
}

std::optional<TMMDeviceId> IdentToDeviceId(std::string_view text) {
  if (text == "MapperId") return MapperId;
  if (text == "InvalidId") return InvalidId;
  TMMDeviceId value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}
