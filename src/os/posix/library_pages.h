// Pages of loaded libraries that a process needed once (to load or initialise them) or needs
// only now and then: their read-only segments can be handed back to the page cache, as
// unloading would, while the libraries stay loaded. A later call into one maps them again
// from the page cache (the kernel maps about 64 KiB per fault).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace os::posix {

struct PageRange {
  std::uintptr_t start;
  std::size_t length;
};

// The load addresses of every object now loaded (the program, its libraries, dlopen'ed ones).
std::vector<std::uintptr_t> LoadedObjects();

// The whole pages of the read-only segments (code, constants, symbol tables) of the loaded
// objects that `pick` chooses by file path and load address. Writable segments, where the
// relocated data lives, are never among them, nor objects with text relocations: dropping
// these pages loses nothing the files do not hold.
std::vector<PageRange> ReadOnlyPages(const std::function<bool(const char* path, std::uintptr_t base)>& pick);

// Drops the pages from this process (MADV_DONTNEED). Safe while another thread runs that
// code: it only takes the faults sooner.
void DropPages(const std::vector<PageRange>& ranges);

}  // namespace os::posix
