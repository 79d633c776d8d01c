// Free disk space as the wave file component sees it before every write.
// The query goes through one replaceable function so that tests can make a
// disk "fill up" without filling one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Returns the bytes available to the user on the file system that holds
// `folder`, or -1 when that cannot be determined.
using DiskFreeQuery = std::function<std::int64_t(const std::string& folder)>;

// The free space for the folder through the installed query (by default
// std::filesystem::space). Safe from any thread.
std::int64_t DiskFreeForUser(const std::string& folder);

// Installs a query; an empty function restores the default. Returns the
// query that was installed before.
DiskFreeQuery SetDiskFreeQuery(DiskFreeQuery query);

// The default query over std::filesystem::space.
std::int64_t FileSystemDiskFree(const std::string& folder);
