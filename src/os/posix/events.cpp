// Events: unnamed ones in private memory, named ones in a small shared file
// /dev/shm/vigil-event.<NAME> under the root, both driven by event_state. A named event's file
// lives as long as some process holds it open (named_object.h).
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "os/os.h"
#include "os/posix/event_state.h"
#include "os/posix/named_object.h"
#include "os/posix/port_object.h"
#include "os/posix/root_paths.h"
#include "os/posix/view_guard.h"

namespace os {
namespace {

using posix::EventState;

class EventObject final : public posix::PortObject {
 public:
  // Unnamed: the state lives in this object.
  EventObject(bool manualReset, bool initialState)
      : private_(posix::NewEventState(manualReset, initialState)), word_(&private_.signaled),
        manualReset_(manualReset) {}
  // Named: the state lives in `view`, a guarded view of the file open (and locked) on `fd`.
  EventObject(EventState* view, int fd, std::string path)
      : word_(&view->signaled), manualReset_(view->manualReset != 0), view_(view), fd_(fd),
        path_(std::move(path)) {}
  ~EventObject() override {
    if (view_ == nullptr) return;
    posix::UnmapGuardedView(view_, sizeof(EventState));
    posix::ReleaseNamedObject(fd_, path_);
  }
  std::uint32_t* word() const { return word_; }
  // After a SetEvent: if someone cut the file short, our own view of the word now lies on a
  // private page, and waiters asleep on the file's page would never hear of the signal. The
  // file gets its size back and those waiters are woken through a fresh view of it; they then
  // look at the word again (a waiter of this process sees the signal on the private page).
  void WakeThroughCutFile() const {
    struct stat st;
    if (view_ == nullptr || fstat(fd_, &st) != 0 || st.st_size >= static_cast<off_t>(sizeof(EventState))) return;
    if (ftruncate(fd_, sizeof(EventState)) != 0) return;
    auto* fresh = static_cast<EventState*>(posix::MapGuardedView(fd_, sizeof(EventState)));
    if (fresh == nullptr) return;
    posix::SignalEventWord(&fresh->signaled, true);
    posix::UnmapGuardedView(fresh, sizeof(EventState));
  }
  bool manualReset() const { return manualReset_; }
  bool shared() const { return view_ != nullptr; }

 private:
  EventState private_{};
  std::uint32_t* word_;
  bool manualReset_;  // taken once: a later write into the file cannot change this handle
  EventState* view_ = nullptr;
  int fd_ = -1;
  std::string path_;
};

std::string EventPath(const char* name) {
  return posix::RootedPath(std::string("/dev/shm/vigil-event.") + name);
}

// Opens (or, with `create`, makes) the named event. Null when absent, a leftover no process
// holds (for an opener), or something that is no event.
Handle OpenNamed(const char* name, bool create, bool manualReset, bool initialState) {
  if (!posix::IsPlainObjectName(name)) return nullptr;
  std::string path = EventPath(name);
  if (create && !posix::MakeParentDirs(path)) return nullptr;
  const EventState fresh = posix::NewEventState(manualReset, initialState);
  posix::ObjectRequest request;
  request.size = sizeof(EventState);
  request.create = create;
  request.initial = &fresh;
  request.initialSize = sizeof fresh;
  posix::ObjectResult opened;
  if (!posix::OpenNamedObject(path, request, &opened)) return nullptr;
  auto* view = static_cast<EventState*>(posix::MapGuardedView(opened.fd, sizeof(EventState)));
  // Like CreateEventA, an existing event is opened and keeps its own reset mode and state.
  if (view == nullptr || !posix::IsEventState(view)) {
    if (view != nullptr) posix::UnmapGuardedView(view, sizeof(EventState));
    posix::ReleaseNamedObject(opened.fd, path);
    return nullptr;
  }
  auto* event = new (std::nothrow) EventObject(view, opened.fd, path);
  if (event == nullptr) {
    posix::UnmapGuardedView(view, sizeof(EventState));
    posix::ReleaseNamedObject(opened.fd, path);
    return nullptr;
  }
  return posix::ToHandle(event);
}

}  // namespace

Handle CreateNamedEvent(const char* name, bool manualReset, bool initialState) {
  return OpenNamed(name, true, manualReset, initialState);
}

Handle OpenNamedEvent(const char* name) { return OpenNamed(name, false, true, false); }

Handle CreateUnnamedEvent(bool manualReset, bool initialState) {
  auto* event = new (std::nothrow) EventObject(manualReset, initialState);
  return event != nullptr ? posix::ToHandle(event) : nullptr;
}

bool SetEvent(Handle handle) {
  posix::HandleRef<EventObject> event(handle);
  if (!event) return false;
  posix::SignalEventWord(event->word(), event->shared());
  event->WakeThroughCutFile();
  return true;
}

bool ResetEvent(Handle handle) {
  posix::HandleRef<EventObject> event(handle);
  if (!event) return false;
  posix::ClearEventWord(event->word());
  return true;
}

WaitResult WaitForEvent(Handle handle, uint32_t timeoutMs) {
  posix::HandleRef<EventObject> event(handle);
  if (!event) return WaitResult::kFailed;
  return posix::WaitEventWord(event->word(), event->manualReset(), event->shared(), timeoutMs);
}

}  // namespace os
