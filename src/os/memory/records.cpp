// What the agent tells the machine and the machine only writes down here: event log reports,
// message boxes, power-off requests, service status; plus the module path it asks for.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "os/memory/handles.h"
#include "os/memory/memory_port.h"
#include "os/os.h"

namespace os {
namespace {

class EventSource final : public memory::Object {
 public:
  explicit EventSource(std::string name) : name(std::move(name)) {}
  const std::string name;
};

class StatusHandle final : public memory::Object {};

struct Records {
  std::mutex mutex;
  std::vector<memory::ReportedEvent> events;
  std::vector<memory::MessageBoxCall> boxes;
  std::vector<std::string> shutdowns;
  std::vector<ServiceStatus> statuses;
  std::string note;
  ServiceCtrlHandlerFn handler = nullptr;
};

Records& TheRecords() {
  static Records records;
  return records;
}

// A copy of one of the lists, taken under the lock so that a test reads a consistent list
// while agent threads may still add to it.
template <typename T>
std::vector<T> CopyOf(std::vector<T> Records::*list) {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  return records.*list;
}

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

Handle RegisterEventSource(const char* source) {
  if (source == nullptr || *source == '\0') return nullptr;
  return memory::AddHandle(std::make_shared<EventSource>(source));
}

bool ReportEvent(Handle handle, uint16_t type, uint16_t category, uint32_t eventId,
                 const char* insertionString, const EventField* fields, std::size_t fieldCount) {
  auto source = memory::Find<EventSource>(handle);
  if (!source) return false;
  if (type != kEventTypeError && type != kEventTypeWarning && type != kEventTypeInformation) {
    return false;
  }
  memory::ReportedEvent report{source->name, type, category, eventId, Text(insertionString), {}};
  for (std::size_t i = 0; fields != nullptr && i < fieldCount; ++i) {
    report.fields.emplace_back(Text(fields[i].name), Text(fields[i].value));
  }
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.events.push_back(std::move(report));
  return true;
}

void DeregisterEventSource(Handle handle) {
  if (memory::Find<EventSource>(handle)) memory::RemoveHandle(handle);
}

std::size_t GetModuleFileName(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  // As GetModuleFileNameA does: a path cut to the buffer is still terminated and reported as
  // `capacity`.
  const std::size_t length = sizeof memory::kModulePath - 1;
  const std::size_t copied = length < capacity ? length : capacity - 1;
  std::memcpy(buffer, memory::kModulePath, copied);
  buffer[copied] = '\0';
  return length < capacity ? length : capacity;
}

void MessageBox(const char* text, const char* caption, uint32_t flags) {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.boxes.push_back({Text(text), Text(caption), flags});
}

void ShutdownSystem(const char* message) {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.shutdowns.push_back(Text(message));
}

bool StartServiceDispatcher(const char* serviceName, ServiceMainFn serviceMain) {
  if (serviceName == nullptr || serviceMain == nullptr) return false;
  // The service manager runs the entry on a thread of its own and the dispatcher returns when
  // the entry has.
  std::string name = serviceName;
  try {
    std::thread service([&] {
      char* argv[] = {name.data(), nullptr};
      serviceMain(1, argv);
    });
    service.join();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

Handle RegisterServiceCtrlHandler(const char* serviceName, ServiceCtrlHandlerFn handler) {
  if (serviceName == nullptr || handler == nullptr) return nullptr;
  {
    Records& records = TheRecords();
    std::lock_guard<std::mutex> lock(records.mutex);
    records.handler = handler;
  }
  return memory::AddHandle(std::make_shared<StatusHandle>());
}

void SetServiceStatusNote(const char* note) {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.note = note != nullptr ? note : "";
}

bool SetServiceStatus(Handle statusHandle, const ServiceStatus& status) {
  if (!memory::Find<StatusHandle>(statusHandle)) return false;
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.statuses.push_back(status);
  return true;
}

namespace memory {

std::vector<ReportedEvent> ReportedEvents() { return CopyOf(&Records::events); }

std::vector<MessageBoxCall> MessageBoxes() { return CopyOf(&Records::boxes); }

std::vector<std::string> ShutdownRequests() { return CopyOf(&Records::shutdowns); }

std::vector<ServiceStatus> ServiceStatusReports() { return CopyOf(&Records::statuses); }

std::string ServiceStatusNote() {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  return records.note;
}

bool SendServiceControl(uint32_t control) {
  ServiceCtrlHandlerFn handler = nullptr;
  {
    Records& records = TheRecords();
    std::lock_guard<std::mutex> lock(records.mutex);
    handler = records.handler;
  }
  if (handler == nullptr) return false;
  handler(control);  // not under the lock: the handler reports status and shows boxes
  return true;
}

void ResetRecords() {
  Records& records = TheRecords();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.events.clear();
  records.boxes.clear();
  records.shutdowns.clear();
  records.statuses.clear();
  records.note.clear();
  records.handler = nullptr;
}

}  // namespace memory
}  // namespace os
