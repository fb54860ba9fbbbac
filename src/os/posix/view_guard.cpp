#include "os/posix/view_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace os::posix {
namespace {

// A fixed table, so the signal handler reads it without allocating or locking. A view that
// finds no free slot is still mapped, only unguarded.
constexpr int kSlots = 256;
struct Slot {
  std::atomic<std::uintptr_t> start{0};
  std::atomic<std::size_t> size{0};
};
Slot gSlots[kSlots];
std::atomic<std::size_t> gDetached{0};
std::uintptr_t gPageSize = 4096;
struct sigaction gPrevious;
std::once_flag gInstalled;

bool InGuardedView(std::uintptr_t address) {
  for (Slot& slot : gSlots) {
    std::uintptr_t start = slot.start.load(std::memory_order_acquire);
    if (start != 0 && address >= start && address - start < slot.size.load(std::memory_order_acquire)) {
      return true;
    }
  }
  return false;
}

void OnBusError(int signo, siginfo_t* info, void* context) {
  auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  if (InGuardedView(address)) {
    // mmap is a plain system call here; it replaces the vanished page and the faulting
    // instruction runs again on the new one.
    void* page = reinterpret_cast<void*>(address & ~(gPageSize - 1));
    if (mmap(page, gPageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      gDetached.fetch_add(1, std::memory_order_relaxed);
      return;
    }
  }
  if ((gPrevious.sa_flags & SA_SIGINFO) != 0 && gPrevious.sa_sigaction != nullptr) {
    gPrevious.sa_sigaction(signo, info, context);
    return;
  }
  if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
    gPrevious.sa_handler(signo);
    return;
  }
  // Not ours: restore the default action; the fault repeats on return and ends the process.
  signal(SIGBUS, SIG_DFL);
}

void Install() {
  long page = sysconf(_SC_PAGESIZE);
  if (page > 0) gPageSize = static_cast<std::uintptr_t>(page);
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &gPrevious);
}

}  // namespace

void* MapGuardedView(int fd, std::size_t size) {
  std::call_once(gInstalled, Install);
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return nullptr;
  // A free slot has size 0, and the size goes in only after the slot is taken: the handler
  // never matches a view by a size that is not its own.
  for (Slot& slot : gSlots) {
    std::uintptr_t expected = 0;
    if (slot.start.compare_exchange_strong(expected, reinterpret_cast<std::uintptr_t>(view),
                                           std::memory_order_acq_rel)) {
      slot.size.store(size, std::memory_order_release);
      break;
    }
  }
  return view;
}

bool RemapGuardedView(void* view, int fd, std::size_t size) {
  return mmap(view, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) == view;
}

void UnmapGuardedView(void* view, std::size_t size) {
  auto start = reinterpret_cast<std::uintptr_t>(view);
  for (Slot& slot : gSlots) {
    if (slot.start.load(std::memory_order_acquire) != start) continue;
    slot.size.store(0, std::memory_order_release);
    slot.start.store(0, std::memory_order_release);
    break;
  }
  munmap(view, size);
}

std::size_t DetachedPageCount() { return gDetached.load(std::memory_order_relaxed); }

}  // namespace os::posix
