#include "wavefile/DiskSpace.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>

namespace {

std::mutex& QueryLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<DiskFreeQuery>& InstalledQuery() {
  static std::shared_ptr<DiskFreeQuery> query;
  return query;
}

}  // namespace

std::int64_t FileSystemDiskFree(const std::string& folder) {
  std::error_code ec;
  const std::filesystem::space_info info = std::filesystem::space(folder, ec);
  if (ec || info.available == static_cast<std::uintmax_t>(-1)) return -1;
  constexpr std::uintmax_t kMax = static_cast<std::uintmax_t>(INT64_MAX);
  return static_cast<std::int64_t>(info.available > kMax ? kMax : info.available);
}

std::int64_t DiskFreeForUser(const std::string& folder) {
  std::shared_ptr<DiskFreeQuery> query;
  {
    std::lock_guard guard(QueryLock());
    query = InstalledQuery();
  }
  if (query && *query) return (*query)(folder);
  return FileSystemDiskFree(folder);
}

DiskFreeQuery SetDiskFreeQuery(DiskFreeQuery query) {
  std::lock_guard guard(QueryLock());
  std::shared_ptr<DiskFreeQuery> old = InstalledQuery();
  InstalledQuery() = query ? std::make_shared<DiskFreeQuery>(std::move(query)) : nullptr;
  return old ? *old : DiskFreeQuery{};
}
