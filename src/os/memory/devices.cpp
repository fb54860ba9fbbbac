// The device channel: in-process devices only (os/local_devices), with connections a test can
// make drop.
#include <map>
#include <mutex>
#include <string>

#include "os/local_devices.h"
#include "os/memory/handles.h"
#include "os/memory/memory_port.h"
#include "os/os.h"

namespace os {
namespace {

class Device final : public memory::Object {
 public:
  Device(void* connection, std::string path) : connection(connection), path(std::move(path)) {}
  ~Device() override { local_devices::Close(connection); }
  void* const connection;
  const std::string path;  // folded
};

struct Drops {
  std::mutex mutex;
  std::map<std::string, int> callsLeft;  // folded path -> calls before the drop
};

Drops& TheDrops() {
  static Drops drops;
  return drops;
}

// Whether the device at `path` is still connected; with `call`, one call is spent.
bool Connected(const std::string& path, bool call) {
  Drops& drops = TheDrops();
  std::lock_guard<std::mutex> lock(drops.mutex);
  auto it = drops.callsLeft.find(path);
  if (it == drops.callsLeft.end()) return true;
  if (it->second == 0) return false;
  if (call) --it->second;
  return true;
}

}  // namespace

Handle OpenDevice(const char* path) {
  if (path == nullptr || !Connected(memory::Fold(path), false)) return nullptr;
  void* connection = local_devices::Open(path);
  if (connection == nullptr) return nullptr;
  return memory::AddHandle(std::make_shared<Device>(connection, memory::Fold(path)));
}

bool DeviceIoControl(Handle handle, uint32_t code, const void* in, uint32_t inLen, void* out,
                     uint32_t outLen, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  auto device = memory::Find<Device>(handle);
  if (!device || !Connected(device->path, true)) return false;
  return local_devices::Control(device->connection, code, in, inLen, out, outLen, returned);
}

namespace memory {

void DropDevice(const char* path, int calls) {
  if (path == nullptr) return;
  Drops& drops = TheDrops();
  std::lock_guard<std::mutex> lock(drops.mutex);
  drops.callsLeft[memory::Fold(path)] = calls > 0 ? calls : 0;
}

void ResetDevices() {
  Drops& drops = TheDrops();
  std::lock_guard<std::mutex> lock(drops.mutex);
  drops.callsLeft.clear();
}

}  // namespace memory
}  // namespace os
