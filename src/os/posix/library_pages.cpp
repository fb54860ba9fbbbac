#include "os/posix/library_pages.h"

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

namespace os::posix {
namespace {

using Visit = std::function<void(const dl_phdr_info&)>;

int VisitObject(dl_phdr_info* info, size_t, void* data) {
  (*static_cast<const Visit*>(data))(*info);
  return 0;
}

void ForEachObject(const Visit& visit) { dl_iterate_phdr(VisitObject, const_cast<Visit*>(&visit)); }

// An object with text relocations has had its code pages written by the loader: they hold
// data the file does not, and must stay.
bool HasTextRelocations(const dl_phdr_info& object) {
  for (int i = 0; i < object.dlpi_phnum; ++i) {
    if (object.dlpi_phdr[i].p_type != PT_DYNAMIC) continue;
    for (auto* d = reinterpret_cast<const ElfW(Dyn)*>(object.dlpi_addr + object.dlpi_phdr[i].p_vaddr);
         d->d_tag != DT_NULL; ++d) {
      if (d->d_tag == DT_TEXTREL || (d->d_tag == DT_FLAGS && (d->d_un.d_val & DF_TEXTREL) != 0)) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::uintptr_t> LoadedObjects() {
  std::vector<std::uintptr_t> bases;
  ForEachObject([&](const dl_phdr_info& object) { bases.push_back(object.dlpi_addr); });
  return bases;
}

std::vector<PageRange> ReadOnlyPages(const std::function<bool(const char* path, std::uintptr_t base)>& pick) {
  const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
  std::vector<PageRange> ranges;
  ForEachObject([&](const dl_phdr_info& object) {
    if (!pick(object.dlpi_name != nullptr ? object.dlpi_name : "", object.dlpi_addr) || HasTextRelocations(object)) return;
    for (int i = 0; i < object.dlpi_phnum; ++i) {
      const ElfW(Phdr)& h = object.dlpi_phdr[i];
      if (h.p_type != PT_LOAD || (h.p_flags & PF_W) != 0 || h.p_memsz == 0) continue;
      // Whole pages inside the segment only: a page it shares with a writable neighbour holds
      // that neighbour's relocated data.
      const std::uintptr_t start = (object.dlpi_addr + h.p_vaddr + page - 1) & ~(page - 1);
      const std::uintptr_t end = (object.dlpi_addr + h.p_vaddr + h.p_memsz) & ~(page - 1);
      if (end > start) ranges.push_back({start, std::size_t(end - start)});
    }
  });
  return ranges;
}

void DropPages(const std::vector<PageRange>& ranges) {
  for (const PageRange& r : ranges) madvise(reinterpret_cast<void*>(r.start), r.length, MADV_DONTNEED);
}

}  // namespace os::posix
