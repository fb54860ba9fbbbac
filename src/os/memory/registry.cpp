// The registry as a table of keys, each with its values in creation order. Handles name a
// key by id, so a key deleted under an open handle is told apart from one made again later.
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "os/memory/handles.h"
#include "os/memory/memory_port.h"
#include "os/os.h"
#include "os/registry_rules.h"

namespace os {
namespace {

struct Value {
  std::string name;
  uint32_t type;
  std::vector<uint8_t> data;
};

struct Key {
  uint64_t parent;  // 0: HKEY_LOCAL_MACHINE itself
  std::string name;
  std::vector<Value> values;
  std::vector<uint64_t> children;
};

struct Store {
  std::map<uint64_t, Key> keys;
  std::map<std::string, uint64_t> byPath;  // folded path -> id
  uint64_t nextId = 1;
};

struct Registry {
  // Recursive: a batch holds it while its body makes registry calls on the same thread.
  std::recursive_mutex mutex;
  Store store;
  int failWrites = 0;
  std::vector<std::string> failNames;  // folded
  bool broken = false;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

class KeyHandle final : public memory::Object {
 public:
  KeyHandle(uint64_t id, uint32_t access) : id(id), rights(registry::EffectiveRights(access)) {}
  bool Allows(uint32_t right) const { return (rights & right) == right; }
  const uint64_t id;
  const uint32_t rights;
};

bool ValueName(const char* name, std::string_view* out) {
  *out = name != nullptr ? std::string_view(name) : std::string_view();  // null: default value
  return out->size() <= kRegMaxValueName;
}

// A write the test made fail, or kErrorSuccess. `name` is the value written, if any.
long WriteFault(Registry& registry, std::string_view name) {
  if (registry.failWrites > 0) {
    --registry.failWrites;
    return kErrorRegistryIo;
  }
  const std::string folded = memory::Fold(name);
  for (const std::string& failing : registry.failNames) {
    if (failing == folded) return kErrorRegistryIo;
  }
  return kErrorSuccess;
}

Value* FindValue(Key& key, std::string_view name) {
  const std::string folded = memory::Fold(name);
  for (Value& value : key.values) {
    if (memory::Fold(value.name) == folded) return &value;
  }
  return nullptr;
}

// The key behind an open handle with `right`, or the error to return.
long KeyOf(Registry& registry, RegHandle handle, uint32_t right, Key** key) {
  auto open = memory::Find<KeyHandle>(handle);
  if (!open) return kErrorInvalidHandle;
  if (!open->Allows(right)) return kErrorAccessDenied;
  if (registry.broken) return kErrorRegistryIo;
  auto it = registry.store.keys.find(open->id);
  if (it == registry.store.keys.end()) return registry::kErrorKeyDeleted;
  *key = &it->second;
  return kErrorSuccess;
}

long OpenKeyPath(const char* path, uint32_t access, bool create, RegHandle* out) {
  if (out == nullptr) return kErrorInvalidParameter;
  *out = nullptr;
  std::vector<std::string> names;
  if (!registry::SplitKeyPath(path, &names) || names.size() > kRegMaxKeyDepth) {
    return kErrorInvalidParameter;
  }
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (registry.broken) return kErrorRegistryIo;
  Store& store = registry.store;
  auto found = store.byPath.find(memory::Fold(registry::JoinKeyPath(names, names.size())));
  uint64_t id = found != store.byPath.end() ? found->second : 0;
  if (id == 0) {
    if (!create) return kErrorFileNotFound;
    if (long fault = WriteFault(registry, {})) return fault;
    uint64_t parent = 0;
    for (std::size_t depth = 1; depth <= names.size(); ++depth) {
      const std::string folded = memory::Fold(registry::JoinKeyPath(names, depth));
      auto existing = store.byPath.find(folded);
      if (existing != store.byPath.end()) {
        parent = existing->second;
        continue;
      }
      const uint64_t made = store.nextId++;
      store.keys[made] = Key{parent, names[depth - 1], {}, {}};
      if (parent != 0) store.keys[parent].children.push_back(made);
      store.byPath[folded] = made;
      parent = made;
    }
    id = parent;
  }
  *out = memory::AddHandle(std::make_shared<KeyHandle>(id, access));
  return kErrorSuccess;
}

std::string PathOf(const Store& store, uint64_t id) {
  const Key& key = store.keys.at(id);
  return key.parent == 0 ? key.name : PathOf(store, key.parent) + "\\" + key.name;
}

void EraseTree(Store& store, uint64_t id) {
  auto it = store.keys.find(id);
  if (it == store.keys.end()) return;
  for (uint64_t child : std::vector<uint64_t>(it->second.children)) EraseTree(store, child);
  store.byPath.erase(memory::Fold(PathOf(store, id)));
  store.keys.erase(id);
}

}  // namespace

long RegCreateKey(const char* path, uint32_t access, RegHandle* out) {
  return OpenKeyPath(path, access, /*create=*/true, out);
}

long RegOpenKey(const char* path, uint32_t access, RegHandle* out) {
  return OpenKeyPath(path, access, /*create=*/false, out);
}

long RegQueryValue(RegHandle handle, const char* name, uint32_t* type, void* data,
                   uint32_t* size) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  Key* key = nullptr;
  if (long error = KeyOf(registry, handle, registry::kKeyQueryValue, &key)) return error;
  std::string_view valueName;
  if (!ValueName(name, &valueName) || (data != nullptr && size == nullptr)) {
    return kErrorInvalidParameter;
  }
  const Value* value = FindValue(*key, valueName);
  if (value == nullptr) return kErrorFileNotFound;
  if (type != nullptr) *type = value->type;
  if (size == nullptr) return kErrorSuccess;
  return registry::CopyData(value->data.data(), uint32_t(value->data.size()), data, size);
}

long RegSetValue(RegHandle handle, const char* name, uint32_t type, const void* data,
                 uint32_t size) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  Key* key = nullptr;
  if (long error = KeyOf(registry, handle, kKeySetValue, &key)) return error;
  std::string_view valueName;
  if (!ValueName(name, &valueName) || (data == nullptr && size != 0) || size > kRegMaxValueData) {
    return kErrorInvalidParameter;
  }
  if (long fault = WriteFault(registry, valueName)) return fault;
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> stored(bytes, bytes + size);
  // A rewritten value keeps its place and the case of its first name.
  if (Value* value = FindValue(*key, valueName)) {
    value->type = type;
    value->data = std::move(stored);
  } else {
    key->values.push_back({std::string(valueName), type, std::move(stored)});
  }
  return kErrorSuccess;
}

long RegEnumValue(RegHandle handle, uint32_t index, char* name, uint32_t* nameCap,
                  uint32_t* type, void* data, uint32_t* dataSize) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  Key* key = nullptr;
  if (long error = KeyOf(registry, handle, registry::kKeyQueryValue, &key)) return error;
  if (name == nullptr || nameCap == nullptr || (data != nullptr && dataSize == nullptr)) {
    return kErrorInvalidParameter;
  }
  if (index >= key->values.size()) return kErrorNoMoreItems;
  const Value& value = key->values[index];
  if (long error = registry::CopyName(value.name, name, nameCap)) return error;
  if (type != nullptr) *type = value.type;
  if (dataSize == nullptr) return kErrorSuccess;
  return registry::CopyData(value.data.data(), uint32_t(value.data.size()), data, dataSize);
}

long RegEnumKey(RegHandle handle, uint32_t index, char* name, uint32_t* nameCap) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  Key* key = nullptr;
  if (long error = KeyOf(registry, handle, registry::kKeyEnumerateSubKeys, &key)) return error;
  if (name == nullptr || nameCap == nullptr) return kErrorInvalidParameter;
  if (index >= key->children.size()) return kErrorNoMoreItems;
  return registry::CopyName(registry.store.keys.at(key->children[index]).name, name, nameCap);
}

long RegDeleteValue(RegHandle handle, const char* name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  Key* key = nullptr;
  if (long error = KeyOf(registry, handle, kKeySetValue, &key)) return error;
  std::string_view valueName;
  if (!ValueName(name, &valueName)) return kErrorInvalidParameter;
  Value* value = FindValue(*key, valueName);
  if (value == nullptr) return kErrorFileNotFound;
  if (long fault = WriteFault(registry, valueName)) return fault;
  key->values.erase(key->values.begin() + (value - key->values.data()));
  return kErrorSuccess;
}

long RegDeleteKeyTree(const char* path) {
  // An empty path would name HKEY_LOCAL_MACHINE itself: refused, never the whole registry.
  std::vector<std::string> names;
  if (!registry::SplitKeyPath(path, &names)) return kErrorInvalidParameter;
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (registry.broken) return kErrorRegistryIo;
  Store& store = registry.store;
  auto found = store.byPath.find(memory::Fold(registry::JoinKeyPath(names, names.size())));
  if (found == store.byPath.end()) return kErrorFileNotFound;
  if (long fault = WriteFault(registry, {})) return fault;
  const uint64_t id = found->second;
  const uint64_t parent = store.keys.at(id).parent;
  EraseTree(store, id);
  if (parent != 0) std::erase(store.keys.at(parent).children, id);
  return kErrorSuccess;
}

long RegCloseKey(RegHandle handle) {
  if (!memory::Find<KeyHandle>(handle)) return kErrorInvalidHandle;
  return memory::RemoveHandle(handle) ? kErrorSuccess : kErrorInvalidHandle;
}

long RegApplyAtomically(RegBatchFn body, void* context) {
  if (body == nullptr) return kErrorInvalidParameter;
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  if (registry.broken) return kErrorRegistryIo;
  Store before = registry.store;
  const long result = body(context);
  if (result != kErrorSuccess) registry.store = std::move(before);
  return result;
}

namespace memory {

void FailRegistryWrites(int count) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.failWrites = count > 0 ? count : 0;
}

void FailRegistryWritesOf(const char* name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.failNames.push_back(memory::Fold(name != nullptr ? name : ""));
}

void BreakRegistry() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.broken = true;
}

void ResetRegistry() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::recursive_mutex> lock(registry.mutex);
  registry.store = Store{};
  registry.failWrites = 0;
  registry.failNames.clear();
  registry.broken = false;
}

}  // namespace memory
}  // namespace os
