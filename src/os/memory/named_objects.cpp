// Named mappings and events in one namespace, as Win32 keeps them: a name taken by one kind of
// object cannot be created or opened as the other, and an object lives while a handle (or, for
// a mapping, a view) holds it; then its name is free again.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "os/memory/handles.h"
#include "os/memory/memory_port.h"
#include "os/os.h"

namespace os {
namespace {

class Mapping final : public memory::Object {
 public:
  explicit Mapping(std::size_t size) : bytes(size, 0) {}
  std::vector<uint8_t> bytes;  // never resized: views point into it
};

class Event final : public memory::Object {
 public:
  Event(bool manualReset, bool state) : manualReset(manualReset), state(state) {}
  const bool manualReset;
  std::mutex mutex;
  std::condition_variable changed;
  bool state;
};

// A handle is its own object holding the shared one, so that a name lives exactly as long as
// some handle or view holds its object.
template <class T>
class HandleOn final : public memory::Object {
 public:
  explicit HandleOn(std::shared_ptr<T> target) : target(std::move(target)) {}
  const std::shared_ptr<T> target;
};

struct Namespace {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<memory::Object>> objects;
  std::set<std::string> taken;  // TakeName: held by an object of no kind the port makes
  // Mappings ever viewed: a view stays valid until the process ends.
  std::vector<std::shared_ptr<Mapping>> viewed;
};

Namespace& Names() {
  static Namespace names;
  return names;
}

// The live object of that name (any kind), or null. Caller holds the mutex.
std::shared_ptr<memory::Object> Lookup(Namespace& names, const std::string& name) {
  auto it = names.objects.find(name);
  if (it == names.objects.end()) return nullptr;
  std::shared_ptr<memory::Object> object = it->second.lock();
  if (!object) names.objects.erase(it);
  return object;
}

template <class T>
Handle NewHandle(std::shared_ptr<T> target) {
  return memory::AddHandle(std::make_shared<HandleOn<T>>(std::move(target)));
}

template <class T>
std::shared_ptr<T> Target(Handle handle) {
  auto on = memory::Find<HandleOn<T>>(handle);
  return on ? on->target : nullptr;
}

}  // namespace

Handle CreateNamedMapping(const char* name, std::size_t size) {
  if (name == nullptr || size == 0) return nullptr;
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  if (names.taken.count(name) != 0) return nullptr;
  std::shared_ptr<memory::Object> existing = Lookup(names, name);
  if (existing) {
    auto mapping = std::dynamic_pointer_cast<Mapping>(existing);
    // An existing mapping keeps its size; one that cannot hold `size` bytes is refused.
    if (!mapping || mapping->bytes.size() < size) return nullptr;
    return NewHandle(mapping);
  }
  auto mapping = std::make_shared<Mapping>(size);
  names.objects[name] = mapping;
  return NewHandle(mapping);
}

Handle OpenNamedMapping(const char* name, std::size_t size, bool* tooSmall) {
  if (tooSmall != nullptr) *tooSmall = false;
  if (name == nullptr) return nullptr;
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  if (names.taken.count(name) != 0) return nullptr;
  auto mapping = std::dynamic_pointer_cast<Mapping>(Lookup(names, name));
  if (!mapping) return nullptr;
  if (mapping->bytes.size() < size) {
    if (tooSmall != nullptr) *tooSmall = true;
    return nullptr;
  }
  return NewHandle(mapping);
}

void* MapWholeView(Handle handle) {
  std::shared_ptr<Mapping> mapping = Target<Mapping>(handle);
  if (!mapping) return nullptr;
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  bool kept = false;
  for (const auto& viewed : names.viewed) kept = kept || viewed == mapping;
  if (!kept) names.viewed.push_back(mapping);
  return mapping->bytes.data();
}

// In-process bytes keep their size: nothing can cut them short.
bool MappingCutShort(Handle, std::size_t*) { return false; }
int RestoreMappingSize(Handle, void*) { return -1; }

Handle CreateNamedEvent(const char* name, bool manualReset, bool initialState) {
  if (name == nullptr) return nullptr;
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  if (names.taken.count(name) != 0) return nullptr;
  std::shared_ptr<memory::Object> existing = Lookup(names, name);
  if (existing) {
    auto event = std::dynamic_pointer_cast<Event>(existing);
    return event ? NewHandle(event) : nullptr;
  }
  auto event = std::make_shared<Event>(manualReset, initialState);
  names.objects[name] = event;
  return NewHandle(event);
}

Handle OpenNamedEvent(const char* name) {
  if (name == nullptr) return nullptr;
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  if (names.taken.count(name) != 0) return nullptr;
  auto event = std::dynamic_pointer_cast<Event>(Lookup(names, name));
  return event ? NewHandle(event) : nullptr;
}

Handle CreateUnnamedEvent(bool manualReset, bool initialState) {
  return NewHandle(std::make_shared<Event>(manualReset, initialState));
}

bool SetEvent(Handle handle) {
  std::shared_ptr<Event> event = Target<Event>(handle);
  if (!event) return false;
  {
    std::lock_guard<std::mutex> lock(event->mutex);
    event->state = true;
  }
  event->changed.notify_all();
  return true;
}

bool ResetEvent(Handle handle) {
  std::shared_ptr<Event> event = Target<Event>(handle);
  if (!event) return false;
  std::lock_guard<std::mutex> lock(event->mutex);
  event->state = false;
  return true;
}

WaitResult WaitForEvent(Handle handle, uint32_t timeoutMs) {
  std::shared_ptr<Event> event = Target<Event>(handle);
  if (!event) return WaitResult::kFailed;
  std::unique_lock<std::mutex> lock(event->mutex);
  const auto signalled = [&] { return event->state; };
  if (timeoutMs == kInfinite) {
    event->changed.wait(lock, signalled);
  } else if (!event->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled)) {
    return WaitResult::kTimeout;
  }
  // An auto-reset event lets one waiter through per SetEvent.
  if (!event->manualReset) event->state = false;
  return WaitResult::kSignaled;
}

namespace memory {

void TakeName(const char* name) {
  if (name == nullptr) return;
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  names.taken.insert(name);
}

std::optional<std::string> MappingBytes(const char* name) {
  if (name == nullptr) return std::nullopt;
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  auto mapping = std::dynamic_pointer_cast<Mapping>(Lookup(names, name));
  if (!mapping) return std::nullopt;
  return std::string(mapping->bytes.begin(), mapping->bytes.end());
}

void ResetNames() {
  Namespace& names = Names();
  std::lock_guard<std::mutex> lock(names.mutex);
  names.objects.clear();
  names.taken.clear();
}

}  // namespace memory
}  // namespace os
