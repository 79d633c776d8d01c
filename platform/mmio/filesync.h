// Written file data made durable without making the writer wait: a helper
// thread runs fdatasync on a duplicate of the writer's descriptor, so a take
// that is cut by a power loss keeps what was synced, while the thread that
// writes the file (the main thread) never waits for the disk.
#pragma once

namespace mmio {

// Queues a sync of the open file `fd` (duplicated here; the caller may close
// its own descriptor at once). A sync of the same file that is still waiting
// is replaced by this one, which covers it, so a slow disk never piles up
// requests. Covers what was written before the call.
void SyncInBackground(int fd);

// Returns once every sync queued so far is done (tests; the helper thread
// also finishes its queue when the process exits normally).
void WaitForBackgroundSyncs();

}  // namespace mmio
