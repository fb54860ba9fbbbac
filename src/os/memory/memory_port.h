// The in-memory backend of the port, seen from a test: a fresh machine, faults to inject, and
// what the agent left in the event log, in message boxes, in shutdown and service status calls.
//
// The backend (src/os/memory, library vigil_os_memory) implements all of os/os.h inside the
// process, after the Win32 semantics the real backends follow: a registry of keys and values
// (names without regard to case, creation order, Win32 error codes and bounds, atomic batches),
// named mappings and events in one namespace that live while a handle or view holds them, real
// waits with timeouts, in-process devices, files on drive c:. Nothing reaches the machine: no
// file outside a private temporary folder, no system log, no power-off, no service manager.
//
// Any thread may call these; tests call Reset() between cases while no agent thread runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "os/os.h"

namespace os::memory {

// A fresh machine: empty registry, no named objects, no files, no records, no faults; every
// handle is closed. Views stay readable (a view lives until the process ends) but their
// mappings no longer answer to their names. In-process device registrations are the test's
// own and stay.
void Reset();

// --- Registry faults (each until Reset) ---------------------------------------------------------
// The next `count` writes (value set or delete, key creation or tree delete) fail with
// kErrorRegistryIo and change nothing.
void FailRegistryWrites(int count);
// Every write of the value `name` (any case) fails with kErrorRegistryIo.
void FailRegistryWritesOf(const char* name);
// The store is unusable, as a corrupt or unreadable database is: every registry call fails
// with kErrorRegistryIo.
void BreakRegistry();

// --- Named objects ------------------------------------------------------------------------------
// An object of some other kind holds `name`: creating or opening a mapping or an event of that
// name fails, as on Windows.
void TakeName(const char* name);
// The bytes of the named mapping, or nothing when no mapping answers to that name.
std::optional<std::string> MappingBytes(const char* name);

// --- Devices ------------------------------------------------------------------------------------
// After `calls` more calls through handles on the device at `path`, its connection drops: every
// later call fails and OpenDevice of it gives null.
void DropDevice(const char* path, int calls);

// --- Files on drive c: (OpenFile) ---------------------------------------------------------------
// C has no portable stream over memory (fmemopen is POSIX only), so the drive is a private
// temporary folder of the process, emptied by Reset. Names compare without regard to case.
bool PutFile(const char* windowsPath, const std::string& contents);
std::optional<std::string> FileContents(const char* windowsPath);

// --- What the agent did ------------------------------------------------------------------------
struct ReportedEvent {
  std::string source;
  uint16_t type;
  uint16_t category;
  uint32_t eventId;
  std::string text;  // the insertion string
  std::vector<std::pair<std::string, std::string>> fields;
};
std::vector<ReportedEvent> ReportedEvents();

struct MessageBoxCall {
  std::string text;
  std::string caption;
  uint32_t flags;
};
std::vector<MessageBoxCall> MessageBoxes();

// The message of each ShutdownSystem call; the machine stays up.
std::vector<std::string> ShutdownRequests();

// Every SetServiceStatus report, in order.
std::vector<ServiceStatus> ServiceStatusReports();
// The note SetServiceStatusNote left ("" for none).
std::string ServiceStatusNote();
// Hands `control` to the handler the service registered, on the calling thread, as the
// service manager does. False when none is registered.
bool SendServiceControl(uint32_t control);

// What GetModuleFileName answers.
constexpr char kModulePath[] = "C:\\Program Files\\Vigilagent\\vigilagent.exe";

}  // namespace os::memory
