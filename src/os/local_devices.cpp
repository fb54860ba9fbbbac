#include "os/local_devices.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/os.h"

namespace os {
namespace {

struct Registration {
  std::string path;
  LocalDeviceFn fn;
  void* context;
  std::mutex calls;  // one call at a time per device
  bool removed = false;  // guarded by the table's mutex
};

// What an open handle holds: its registration, kept alive while a call runs on it even when
// another thread closes the handle or removes the device.
struct Connection {
  std::shared_ptr<Registration> registration;
};

struct Table {
  std::mutex mutex;
  std::vector<std::shared_ptr<Registration>> registrations;
  std::map<const void*, std::shared_ptr<Connection>> open;
};

Table& TheTable() {
  static Table table;
  return table;
}

bool SamePath(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Takes the registration out of the table, marked so that its open handles fail.
void RemoveLocked(Table& table, const char* path) {
  auto& all = table.registrations;
  for (auto it = all.begin(); it != all.end();) {
    if (SamePath((*it)->path, path)) {
      (*it)->removed = true;
      it = all.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

void RegisterLocalDevice(const char* path, LocalDeviceFn fn, void* context) {
  if (path == nullptr || *path == '\0') return;
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  RemoveLocked(table, path);
  if (fn == nullptr) return;
  auto registration = std::make_shared<Registration>();
  registration->path = path;
  registration->fn = fn;
  registration->context = context;
  table.registrations.push_back(std::move(registration));
}

namespace local_devices {

void* Open(const char* path) {
  if (path == nullptr) return nullptr;
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (const auto& registration : table.registrations) {
    if (!SamePath(registration->path, path)) continue;
    auto connection = std::make_shared<Connection>();
    connection->registration = registration;
    const void* handle = connection.get();
    table.open.emplace(handle, std::move(connection));
    return const_cast<void*>(handle);
  }
  return nullptr;
}

bool IsOpen(const void* handle) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  return table.open.count(handle) != 0;
}

bool Control(const void* handle, std::uint32_t code, const void* in, std::uint32_t inLen,
             void* out, std::uint32_t outLen, std::uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  if ((in == nullptr && inLen != 0) || (out == nullptr && outLen != 0)) return false;
  std::shared_ptr<Registration> registration;
  {
    Table& table = TheTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.open.find(handle);
    if (it == table.open.end() || it->second->registration->removed) return false;
    registration = it->second->registration;
  }
  const std::uint32_t workLen = inLen > outLen ? inLen : outLen;
  std::unique_ptr<std::uint8_t[]> work(new (std::nothrow) std::uint8_t[workLen == 0 ? 1 : workLen]());
  if (!work) return false;
  if (inLen != 0) std::memcpy(work.get(), in, inLen);
  std::uint32_t produced = 0;
  {
    std::lock_guard<std::mutex> lock(registration->calls);
    if (!registration->fn(registration->context, code, work.get(), inLen, work.get(), outLen,
                          &produced)) {
      return false;
    }
  }
  if (produced > outLen) produced = outLen;
  if (produced != 0) std::memcpy(out, work.get(), produced);
  if (returned != nullptr) *returned = produced;
  return true;
}

bool Close(const void* handle) {
  std::shared_ptr<Connection> closed;  // freed after the lock is let go
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.open.find(handle);
  if (it == table.open.end()) return false;
  closed = std::move(it->second);
  table.open.erase(it);
  return true;
}

}  // namespace local_devices
}  // namespace os
