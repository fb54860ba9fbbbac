#include "agent/eventlog/event_reporting.h"

#include <cstring>

#include "contract/registry_paths.h"
#include "os/os.h"

namespace vigil {

namespace {

constexpr uint32_t kTypesSupported = 7;  // error, warning, information
constexpr uint32_t kCategoryCount = 2;
constexpr std::size_t kModulePathSize = 260;

bool WriteDword(os::RegHandle key, const char* name, uint32_t value) {
  return os::RegSetValue(key, name, os::kRegDword, &value, sizeof value) == os::kErrorSuccess;
}

bool WritePath(os::RegHandle key, const char* name, const char* path) {
  return os::RegSetValue(key, name, os::kRegExpandSz, path, uint32_t(std::strlen(path) + 1)) ==
         os::kErrorSuccess;
}

// The values in their fixed order; false at the first that cannot be written.
bool WriteRegistration(os::RegHandle key) {
  if (!WriteDword(key, "TypesSupported", kTypesSupported)) return false;
  char path[kModulePathSize] = {};
  os::GetModuleFileName(path, sizeof path);
  path[kModulePathSize - 1] = '\0';
  if (!WritePath(key, "EventMessageFile", path)) return false;
  if (!WritePath(key, "ParameterMessageFile", path)) return false;
  if (!WritePath(key, "CategoryMessageFile", path)) return false;
  return WriteDword(key, "CategoryCount", kCategoryCount);
}

}  // namespace

void InstallEventSource() {
  os::RegHandle key = nullptr;
  if (os::RegCreateKey(kEventSourceKey, os::kKeySetValue, &key) != os::kErrorSuccess) return;
  // The service runs without the registration as well: the outcome is not reported.
  WriteRegistration(key);
  os::RegCloseKey(key);
}

void ReportSystemEvent(const char* source, const char* text, uint16_t type, uint16_t category,
                       const EventFields* fields) {
  SystemEventReports(source).Report(text, type, category, fields);
}

void SystemEventReports::Report(const char* text, uint16_t type, uint16_t category, const EventFields* fields) {
  if (handle_ == nullptr) handle_ = os::RegisterEventSource(source_);
  if (handle_ == nullptr) return;
  // The event stays in the history ring when the log refuses it: nothing to retry.
  os::ReportEvent(handle_, type, category, kBiosEventId, text, fields != nullptr ? fields->data() : nullptr,
                  fields != nullptr ? fields->size() : 0);
}

void SystemEventReports::Close() {
  if (handle_ == nullptr) return;
  os::DeregisterEventSource(handle_);
  handle_ = nullptr;
}

}  // namespace vigil
