#include "os/posix/journal_sink.h"

#include <dlfcn.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "os/posix/library_pages.h"
#include "os/posix/sink_probe.h"

namespace os::posix {
namespace {

using JournalSendv = decltype(&sd_journal_sendv);

// Where journald listens for the native protocol.
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// The read-only pages of the libraries the journal client brought in: libsystemd and what it
// links (libgcrypt, the compressors, libcap), about 1 MiB that only a batch of reports uses.
std::vector<PageRange> gClientPages;
std::mutex gClientMutex;

// The journal client is loaded the first time a report finds journald's socket: a system
// without a journal (a container, an initramfs) never maps libsystemd and the libraries it
// pulls in. Once loaded it stays, and it keeps its own connection open between entries; only its
// pages go back between batches (ReleaseJournalClientPages).
JournalSendv JournalClient() {
  static std::atomic<JournalSendv> loaded{nullptr};
  static SinkProbe journal(kJournalSocket);
  // A system with a journal but without the client library reports to syslog for this run.
  static std::atomic<bool> unavailable{false};
  JournalSendv sendv = loaded.load(std::memory_order_acquire);
  if (sendv != nullptr) return sendv;
  if (unavailable.load(std::memory_order_relaxed) || !journal.Present()) return nullptr;
  std::lock_guard<std::mutex> lock(gClientMutex);
  sendv = loaded.load(std::memory_order_relaxed);
  if (sendv != nullptr || unavailable.load(std::memory_order_relaxed)) return sendv;
  const std::vector<std::uintptr_t> before = LoadedObjects();
  void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library != nullptr) sendv = reinterpret_cast<JournalSendv>(dlsym(library, "sd_journal_sendv"));
  if (sendv == nullptr) {
    if (library != nullptr) dlclose(library);
    unavailable.store(true, std::memory_order_relaxed);
    return nullptr;
  }
  gClientPages = ReadOnlyPages([&](const char*, std::uintptr_t base) {
    return std::find(before.begin(), before.end(), base) == before.end();
  });
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
  DropPages(gClientPages);
}

void SetJournalSender(JournalSender sender) { gSender = sender != nullptr ? sender : SendWithLibsystemd; }

}  // namespace os::posix
