#include "reg_registry.h"

#include <vector>

#include "os/os.h"

namespace vigilctl {
namespace {

// Room for the longest value name and its terminator (key names are shorter still).
constexpr uint32_t kMaxName = os::kRegMaxValueName + 1;

std::string Describe(const RegOperation& op, const char* what, long code) {
  return "line " + std::to_string(op.line) + ": " + what + " \"" + op.key + "\" failed (error " +
         std::to_string(code) + ")";
}

// One operation; kErrorSuccess, or the registry's error with *error saying which line and why.
long Apply(const RegOperation& op, std::string* error) {
  os::RegHandle key = nullptr;
  long rc = os::kErrorSuccess;
  switch (op.kind) {
    case RegOperation::Kind::kCreateKey:
      rc = os::RegCreateKey(op.key.c_str(), os::kKeyAllAccess, &key);
      if (rc != os::kErrorSuccess) {
        *error = Describe(op, "creating key", rc);
        return rc;
      }
      os::RegCloseKey(key);
      return os::kErrorSuccess;
    case RegOperation::Kind::kDeleteKey:
      rc = os::RegDeleteKeyTree(op.key.c_str());
      if (rc != os::kErrorSuccess && rc != os::kErrorFileNotFound) {
        *error = Describe(op, "deleting key", rc);
        return rc;
      }
      return os::kErrorSuccess;
    case RegOperation::Kind::kSetValue:
      rc = os::RegCreateKey(op.key.c_str(), os::kKeyAllAccess, &key);
      if (rc == os::kErrorSuccess) {
        rc = os::RegSetValue(key, op.name.c_str(), op.type, op.data.data(),
                             static_cast<uint32_t>(op.data.size()));
        os::RegCloseKey(key);
      }
      if (rc != os::kErrorSuccess) *error = Describe(op, ("setting \"" + op.name + "\" in").c_str(), rc);
      return rc;
    case RegOperation::Kind::kDeleteValue:
      rc = os::RegOpenKey(op.key.c_str(), os::kKeyAllAccess, &key);
      if (rc == os::kErrorFileNotFound) return os::kErrorSuccess;
      if (rc == os::kErrorSuccess) {
        rc = os::RegDeleteValue(key, op.name.c_str());
        os::RegCloseKey(key);
      }
      if (rc != os::kErrorSuccess && rc != os::kErrorFileNotFound) {
        *error = Describe(op, ("deleting \"" + op.name + "\" in").c_str(), rc);
        return rc;
      }
      return os::kErrorSuccess;
  }
  return os::kErrorInvalidParameter;
}

struct Batch {
  const std::vector<RegOperation>* operations;
  std::string* error;
};

long ApplyAll(void* context) {
  const Batch& batch = *static_cast<const Batch*>(context);
  for (const RegOperation& op : *batch.operations) {
    if (long rc = Apply(op, batch.error)) return rc;
  }
  return os::kErrorSuccess;
}

// Value `index` of `key`: false at the end; *rc tells an error from the end.
bool ReadValue(os::RegHandle key, uint32_t index, std::string* name, uint32_t* type,
               std::vector<uint8_t>* data, long* rc) {
  std::vector<char> nameBuffer(kMaxName);
  // The data may grow between asking for the size and reading it: ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    uint32_t nameCap = kMaxName;
    uint32_t size = 0;
    *rc = os::RegEnumValue(key, index, nameBuffer.data(), &nameCap, type, nullptr, &size);
    if (*rc != os::kErrorSuccess) return false;
    data->assign(size, 0);
    nameCap = kMaxName;
    uint32_t got = size;
    *rc = os::RegEnumValue(key, index, nameBuffer.data(), &nameCap, type, data->data(), &got);
    if (*rc == os::kErrorMoreData) continue;
    if (*rc != os::kErrorSuccess) return false;
    data->resize(got < size ? got : size);
    name->assign(nameBuffer.data(), nameCap < kMaxName ? nameCap : kMaxName - 1);
    return true;
  }
  return false;
}

int ExportKey(const std::string& path, std::string* text, std::string* error, int depth) {
  // The import refuses keys nested deeper than the registry allows, so whatever is there can
  // be exported; the bound only stops a store that was changed by other means.
  if (depth > static_cast<int>(os::kRegMaxKeyDepth)) {
    *error = "keys nested too deep under \"" + path + "\"";
    return -1;
  }
  os::RegHandle key = nullptr;
  long rc = os::RegOpenKey(path.c_str(), os::kKeyRead, &key);
  if (rc != os::kErrorSuccess) {
    *error = "cannot open \"" + path + "\" (error " + std::to_string(rc) + ")";
    return -1;
  }
  *text += "[" + std::string(kRegRoot) + "\\" + path + "]\n";
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  uint32_t index = 0;
  for (; ReadValue(key, index, &name, &type, &data, &rc); ++index) {
    *text += FormatRegValue(name, type, data.data(), data.size()) + "\n";
  }
  if (rc != os::kErrorNoMoreItems) {
    *error = "cannot read the values of \"" + path + "\" (error " + std::to_string(rc) + ")";
    os::RegCloseKey(key);
    return -1;
  }
  *text += "\n";
  std::vector<std::string> subkeys;
  std::vector<char> buffer(kMaxName);
  for (uint32_t i = 0;; ++i) {
    uint32_t cap = kMaxName;
    rc = os::RegEnumKey(key, i, buffer.data(), &cap);
    if (rc != os::kErrorSuccess) break;
    subkeys.emplace_back(buffer.data(), cap < kMaxName ? cap : kMaxName - 1);
  }
  os::RegCloseKey(key);
  if (rc != os::kErrorNoMoreItems) {
    *error = "cannot list the subkeys of \"" + path + "\" (error " + std::to_string(rc) + ")";
    return -1;
  }
  for (const std::string& sub : subkeys) {
    if (ExportKey(path + "\\" + sub, text, error, depth + 1) != 0) return -1;
  }
  return 0;
}

}  // namespace

int ApplyRegOperations(const std::vector<RegOperation>& operations, std::string* error) {
  error->clear();
  Batch batch{&operations, error};
  const long rc = os::RegApplyAtomically(ApplyAll, &batch);
  if (rc != os::kErrorSuccess && error->empty()) {
    *error = "the registry refused the change (error " + std::to_string(rc) + ")";
  }
  return rc == os::kErrorSuccess ? 0 : -1;
}

int ExportRegKey(const std::string& path, std::string* text, std::string* error) {
  *text = std::string(kRegHeader) + "\n\n";
  return ExportKey(path, text, error, 0);
}

}  // namespace vigilctl
