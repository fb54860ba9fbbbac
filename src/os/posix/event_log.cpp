// System event log: the journal (or, without one, syslog) under the source's name, plus one
// JSON line per report in /var/log/vigilagent/events.log, which clients and tests read.
#include <malloc.h>
#include <syslog.h>

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/os.h"
#include "os/posix/journal_sink.h"
#include "os/posix/line_files.h"
#include "os/posix/port_object.h"
#include "os/posix/root_paths.h"
#include "os/posix/syslog_sink.h"
#include "text/json_string.h"

namespace os {
namespace {

// The events.log lines of one source handle are written together: a poll that reports its
// new records through one handle costs one write, not one per record. They go out when the
// handle is closed, or earlier once they fill kPendingLimit; one write() each on an O_APPEND
// descriptor, so whole lines of concurrent reporters never interleave.
constexpr std::size_t kPendingLimit = 64 * 1024;

class EventSource final : public posix::PortObject {
 public:
  explicit EventSource(std::string name) : name_(std::move(name)) {}
  ~EventSource() override { Flush(); }
  const std::string& name() const { return name_; }

  bool Add(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ += line;
    return pending_.size() < kPendingLimit || WritePending();
  }
  bool Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    return WritePending();
  }

 private:
  bool WritePending() {
    if (pending_.empty()) return true;
    const bool written = posix::AppendLine(posix::RootedPath("/var/log/vigilagent/events.log"), pending_);
    pending_.clear();
    return written;
  }

  std::string name_;
  std::mutex mutex_;  // one handle may report from several threads
  std::string pending_;
};

// The executable's message table on Windows holds "%1." for event 100: the insertion string
// and a full stop. Other ids carry no text there; they show the string alone.
constexpr uint32_t kInsertionEvent = 100;

std::string EventMessage(uint32_t eventId, const char* insertion) {
  std::string message = insertion != nullptr ? insertion : "";
  if ((eventId & 0xFFFF) == kInsertionEvent) message.push_back('.');
  return message;
}

bool TypeOf(uint16_t type, const char** name, int* priority) {
  switch (type) {
    case kEventTypeError:
      *name = "error";
      *priority = LOG_ERR;
      return true;
    case kEventTypeWarning:
      *name = "warning";
      *priority = LOG_WARNING;
      return true;
    case kEventTypeInformation:
      *name = "information";
      *priority = LOG_INFO;
      return true;
    default:
      return false;
  }
}

// Journal field names: upper-case letters, digits and '_', not led by '_' (those are the
// journal's own), at most 64 characters. A name breaking them would be refused or misread.
bool IsFieldName(const char* name) {
  if (name == nullptr || *name == '\0' || *name == '_') return false;
  std::size_t length = 0;
  for (const char* c = name; *c != '\0'; ++c, ++length) {
    if (!((*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '_') || length >= 64) return false;
  }
  return true;
}

}  // namespace

Handle RegisterEventSource(const char* source) {
  if (source == nullptr || *source == '\0') return nullptr;
  auto* eventSource = new (std::nothrow) EventSource(source);
  return eventSource != nullptr ? posix::ToHandle(eventSource) : nullptr;
}

bool ReportEvent(Handle handle, uint16_t type, uint16_t category, uint32_t eventId,
                 const char* insertionString, const EventField* fields, std::size_t fieldCount) {
  posix::HandleRef<EventSource> source(handle);
  const char* typeName = nullptr;
  int priority = 0;
  if (!source || !TypeOf(type, &typeName, &priority)) return false;
  std::string message = EventMessage(eventId, insertionString);
  std::vector<posix::JournalField> entry;
  entry.reserve(3 + fieldCount);
  entry.push_back({"MESSAGE", message});
  entry.push_back({"PRIORITY", std::to_string(priority)});
  entry.push_back({"SYSLOG_IDENTIFIER", source->name()});
  for (std::size_t i = 0; fields != nullptr && i < fieldCount; ++i) {
    if (IsFieldName(fields[i].name)) entry.push_back({fields[i].name, fields[i].value != nullptr ? fields[i].value : ""});
  }
  // The journal keeps the fields; without one (a container, a system without systemd) the
  // report still reaches the system log as the plain line it always was.
  if (!posix::SendToJournal(entry)) posix::WriteSyslog(source->name(), priority, message);
  std::string line;
  line.reserve(512);
  line += "{\"source\":";
  vigil::text::AppendJsonString(&line, source->name());
  line += ",\"eventId\":" + std::to_string(eventId) + ",\"category\":" + std::to_string(category) +
          ",\"type\":\"" + typeName + "\",\"message\":";
  vigil::text::AppendJsonString(&line, message);
  for (const posix::JournalField& field : entry) {
    line.push_back(',');
    vigil::text::AppendJsonString(&line, field.name);
    line.push_back(':');
    vigil::text::AppendJsonString(&line, field.value);
  }
  line += "}\n";
  return source->Add(line);
}

void DeregisterEventSource(Handle handle) {
  posix::HandleRef<EventSource> source(handle);
  if (!source) return;
  source->Flush();
  CloseHandle(handle);
  // A poll reports its records through one handle: its batch is over, and so is the need for
  // the journal client's pages and for the heap the batch freed.
  posix::ReleaseJournalClientPages();
  malloc_trim(0);
}

}  // namespace os
