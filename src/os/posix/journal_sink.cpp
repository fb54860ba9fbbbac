#include "os/posix/journal_sink.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "os/posix/sink_probe.h"

namespace os::posix {
namespace {

using JournalSendv = decltype(&sd_journal_sendv);

// Where journald listens for the native protocol.
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// The read-only segments (code, constants, symbol tables) of the libraries the journal client
// brought in: libsystemd and what it links (libgcrypt, the compressors, libcap), about 1 MiB
// of mapped pages that only a batch of reports uses.
struct Segment {
  std::uintptr_t start;
  std::size_t length;
};
std::vector<Segment> gClientSegments;
std::mutex gClientMutex;

int CollectObject(dl_phdr_info* info, size_t, void* data) {
  static_cast<std::vector<dl_phdr_info>*>(data)->push_back(*info);
  return 0;
}

std::vector<dl_phdr_info> LoadedObjects() {
  std::vector<dl_phdr_info> objects;
  dl_iterate_phdr(CollectObject, &objects);
  return objects;
}

// The segments of the objects that were not loaded before: never written after loading (the
// relocated parts sit in writable segments, which are left alone), so dropping their pages
// from this process loses nothing the files do not hold.
void RememberClientSegments(const std::vector<dl_phdr_info>& before) {
  const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
  for (const dl_phdr_info& object : LoadedObjects()) {
    const bool known = std::any_of(before.begin(), before.end(), [&](const dl_phdr_info& b) {
      return b.dlpi_addr == object.dlpi_addr && b.dlpi_phdr == object.dlpi_phdr;
    });
    if (known) continue;
    for (int i = 0; i < object.dlpi_phnum; ++i) {
      const ElfW(Phdr)& h = object.dlpi_phdr[i];
      if (h.p_type != PT_LOAD || (h.p_flags & PF_W) != 0 || h.p_memsz == 0) continue;
      // Whole pages inside the segment only: a page it shares with a writable neighbour keeps
      // that neighbour's relocated data.
      const std::uintptr_t start = (object.dlpi_addr + h.p_vaddr + page - 1) & ~(page - 1);
      const std::uintptr_t end = (object.dlpi_addr + h.p_vaddr + h.p_memsz) & ~(page - 1);
      if (end > start) gClientSegments.push_back({start, std::size_t(end - start)});
    }
  }
}

// The journal client is loaded the first time a report finds journald's socket: a system
// without a journal (a container, an initramfs) never maps libsystemd and the libraries it
// pulls in. Once loaded it stays, and it keeps its own connection open between entries.
JournalSendv JournalClient() {
  static std::atomic<JournalSendv> loaded{nullptr};
  std::mutex& mutex = gClientMutex;
  static SinkProbe journal(kJournalSocket);
  // A system with a journal but without the client library reports to syslog for this run.
  static std::atomic<bool> unavailable{false};
  JournalSendv sendv = loaded.load(std::memory_order_acquire);
  if (sendv != nullptr) return sendv;
  if (unavailable.load(std::memory_order_relaxed) || !journal.Present()) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  sendv = loaded.load(std::memory_order_relaxed);
  if (sendv != nullptr || unavailable.load(std::memory_order_relaxed)) return sendv;
  const std::vector<dl_phdr_info> before = LoadedObjects();
  void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library != nullptr) sendv = reinterpret_cast<JournalSendv>(dlsym(library, "sd_journal_sendv"));
  if (sendv == nullptr) {
    if (library != nullptr) dlclose(library);
    unavailable.store(true, std::memory_order_relaxed);
    return nullptr;
  }
  RememberClientSegments(before);
  loaded.store(sendv, std::memory_order_release);
  return sendv;
}

bool SendWithLibsystemd(const std::vector<JournalField>& fields) {
  JournalSendv sendv = JournalClient();
  if (sendv == nullptr) return false;
  std::vector<std::string> items;
  items.reserve(fields.size());
  for (const JournalField& f : fields) items.push_back(f.name + "=" + f.value);
  std::vector<iovec> vectors;
  vectors.reserve(items.size());
  for (std::string& item : items) vectors.push_back({item.data(), item.size()});
  // Values may hold line feeds: the native protocol carries them (unlike syslog).
  return sendv(vectors.data(), int(vectors.size())) >= 0;
}

JournalSender gSender = SendWithLibsystemd;

}  // namespace

bool SendToJournal(const std::vector<JournalField>& fields) { return gSender(fields); }

void ReleaseJournalClientPages() {
  std::lock_guard<std::mutex> lock(gClientMutex);
  // The next report maps them again from the page cache (a fault per 64 KiB or so); a report
  // running on another thread meanwhile only takes those faults sooner.
  for (const Segment& s : gClientSegments) madvise(reinterpret_cast<void*>(s.start), s.length, MADV_DONTNEED);
}

void SetJournalSender(JournalSender sender) { gSender = sender != nullptr ? sender : SendWithLibsystemd; }

}  // namespace os::posix
