// Views of shared files that no other process can turn into a crash.
//
// A view of a file faults (SIGBUS) where the file no longer reaches, and any process allowed
// to write the file can shrink it. For a guarded view the port catches that fault and puts a
// private zero page where the file's page was: the access is retried on it and the process
// carries on, now alone on that page. Faults anywhere else go to the handler that was there
// before (or end the process as usual).
#pragma once

#include <cstddef>

namespace os::posix {

// Maps `size` bytes of `fd` from offset 0 read/write and shared, and guards the view. Null on
// failure. Any thread may call.
void* MapGuardedView(int fd, std::size_t size);
// Maps `fd` again over the whole of a view from MapGuardedView (same address, still guarded),
// so the pages the guard replaced share the file again. False on failure.
bool RemapGuardedView(void* view, int fd, std::size_t size);
// Unmaps a view from MapGuardedView. No thread may still touch it.
void UnmapGuardedView(void* view, std::size_t size);
// How many pages the guard has replaced in this process (for tests and diagnostics).
std::size_t DetachedPageCount();

}  // namespace os::posix
