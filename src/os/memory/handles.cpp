// The handle table, CloseHandle and Reset.
#include "os/memory/handles.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "os/memory/memory_port.h"

namespace os::memory {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::map<const void*, std::shared_ptr<Object>> objects;
  // Multiples of four from 0x100, as kernel handles look; never zero, never reused.
  std::uintptr_t next = 0x100;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

void* AddHandle(std::shared_ptr<Object> object) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  void* handle = reinterpret_cast<void*>(table.next);
  table.next += 4;
  table.objects.emplace(handle, std::move(object));
  return handle;
}

std::shared_ptr<Object> FindHandle(const void* handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.objects.find(handle);
  return it != table.objects.end() ? it->second : nullptr;
}

bool RemoveHandle(const void* handle) {
  std::shared_ptr<Object> object;  // let go of after the lock: its destructor may take others
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.objects.find(handle);
  if (it == table.objects.end()) return false;
  object = std::move(it->second);
  table.objects.erase(it);
  return true;
}

std::string Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return folded;
}

void ResetHandles() {
  std::map<const void*, std::shared_ptr<Object>> objects;  // freed after the lock
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  objects.swap(table.objects);
}

void Reset() {
  ResetNames();
  ResetRegistry();
  ResetFiles();
  ResetRecords();
  ResetDevices();
  ResetHandles();
}

}  // namespace os::memory

namespace os {

void CloseHandle(Handle handle) {
  if (handle != nullptr) memory::RemoveHandle(handle);
}

}  // namespace os
