// Events: unnamed ones in private memory, named ones in a small shared file
// /dev/shm/vigil-event.<NAME> under the root, both driven by event_state.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include "os/os.h"
#include "os/posix/event_state.h"
#include "os/posix/port_object.h"
#include "os/posix/root_paths.h"

namespace os {
namespace {

using posix::EventState;

class EventObject final : public posix::PortObject {
 public:
  EventObject(EventState* state, bool mapped) : state_(state), mapped_(mapped) {}
  ~EventObject() override {
    if (mapped_) {
      munmap(state_, sizeof(EventState));
    } else {
      delete state_;
    }
  }
  EventState* state() const { return state_; }

 private:
  EventState* state_;
  bool mapped_;
};

std::string EventPath(const char* name) {
  return posix::RootedPath(std::string("/dev/shm/vigil-event.") + name);
}

EventState* MapState(int fd) {
  void* view = mmap(nullptr, sizeof(EventState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return view == MAP_FAILED ? nullptr : static_cast<EventState*>(view);
}

Handle Wrap(EventState* state, bool mapped) {
  auto* event = new (std::nothrow) EventObject(state, mapped);
  if (event == nullptr) {
    if (mapped) {
      munmap(state, sizeof(EventState));
    } else {
      delete state;
    }
    return nullptr;
  }
  return posix::ToHandle(event);
}

// Maps the event file at `path`. Null when absent (errno ENOENT) or not an event.
EventState* OpenExisting(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  EventState* state = nullptr;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::size_t>(st.st_size) >= sizeof(EventState)) {
    state = MapState(fd);
  }
  close(fd);
  if (state != nullptr && !posix::IsEventState(state)) {
    munmap(state, sizeof(EventState));
    state = nullptr;
  }
  if (state == nullptr) errno = EINVAL;
  return state;
}

// Builds a complete event in a private temporary file and links it into place, so no process
// ever sees a half-initialised one. Null with errno EEXIST when another creator won the race.
EventState* CreateFresh(const std::string& path, bool manualReset, bool initialState) {
  static std::atomic<unsigned> counter{0};
  std::string temp = path + ".tmp." + std::to_string(getpid()) + "." +
                     std::to_string(counter.fetch_add(1));
  int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  fchmod(fd, 0666);  // world access whatever the umask, like the null DACL on Windows
  EventState* state = nullptr;
  if (ftruncate(fd, sizeof(EventState)) == 0) state = MapState(fd);
  close(fd);
  int linkError = EIO;
  if (state != nullptr && posix::InitEventState(state, true, manualReset, initialState)) {
    linkError = link(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
  }
  unlink(temp.c_str());
  if (linkError != 0) {
    if (state != nullptr) munmap(state, sizeof(EventState));
    errno = linkError;
    return nullptr;
  }
  return state;
}

}  // namespace

Handle CreateNamedEvent(const char* name, bool manualReset, bool initialState) {
  if (!posix::IsPlainObjectName(name)) return nullptr;
  std::string path = EventPath(name);
  if (!posix::MakeParentDirs(path)) return nullptr;
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Like CreateEventA, an existing event is opened and keeps its own reset mode and state.
    if (EventState* state = OpenExisting(path)) return Wrap(state, true);
    if (errno != ENOENT) return nullptr;  // the name is taken by something that is no event
    if (EventState* state = CreateFresh(path, manualReset, initialState)) {
      return Wrap(state, true);
    }
    if (errno != EEXIST) return nullptr;  // lost the race: open the winner's event next
  }
  return nullptr;
}

Handle OpenNamedEvent(const char* name) {
  if (!posix::IsPlainObjectName(name)) return nullptr;
  EventState* state = OpenExisting(EventPath(name));
  return state != nullptr ? Wrap(state, true) : nullptr;
}

Handle CreateUnnamedEvent(bool manualReset, bool initialState) {
  auto* state = new (std::nothrow) EventState;
  if (state == nullptr) return nullptr;
  if (!posix::InitEventState(state, false, manualReset, initialState)) {
    delete state;
    return nullptr;
  }
  return Wrap(state, false);
}

bool SetEvent(Handle handle) {
  posix::HandleRef<EventObject> event(handle);
  return event && posix::SignalEventState(event->state());
}

bool ResetEvent(Handle handle) {
  posix::HandleRef<EventObject> event(handle);
  return event && posix::ClearEventState(event->state());
}

WaitResult WaitForEvent(Handle handle, uint32_t timeoutMs) {
  posix::HandleRef<EventObject> event(handle);
  if (!event) return WaitResult::kFailed;
  return posix::WaitEventState(event->state(), timeoutMs);
}

}  // namespace os
