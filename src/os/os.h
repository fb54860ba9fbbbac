// The operating-system port: the only interface through which agent code reaches the OS.
//
// Every facility is shaped after the Win32 call the agent was designed around, so that the
// Win32 backend (src/os/win32) is a thin wrapper and the POSIX backend (src/os/posix) mimics
// the same observable behaviour; the in-memory backend (src/os/memory, for unit tests) keeps it
// inside the process. No function here throws. Unless a contract says otherwise a
// function may be called from any thread, and a handle may be used from several threads.
//
// POSIX: every absolute path the backend uses is put under the directory named by the
// VIGIL_ROOT environment variable (unset or "/" means the real system root). The variable is
// read at each call, so a test may point successive calls at different sandboxes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace os {

// An opaque kernel-object handle. nullptr means "no handle"; backends map INVALID_HANDLE_VALUE
// to nullptr as well, so agent code has one test for both.
using Handle = void*;

// ---------------------------------------------------------------------------------------------
// Named shared block (CreateFileMappingA on the paging file + MapViewOfFile).

// Creates the named mapping of `size` bytes, or opens the existing one of that name (its
// contents are kept). Handle inheritable. Windows: null DACL, every account has full access.
// POSIX: owned by root (or the caller's user) and the `vigilagent` group, mode 0660; an object
// of that name that another user could have made or could change is removed, logged and
// replaced. Like a Win32 named object it lives while some process holds it: a mapping no
// process holds any more (all closed or died) is made afresh, all zero, and its bytes are
// reserved at once, so a full file system fails here (logged) and never at a later write.
// Returns null, and creates nothing new, when the mapping cannot be made or opened, or when an
// existing mapping of that name is smaller than `size` (it cannot hold the block). POSIX: an
// existing object of this process's user that was cut short (any writer may truncate it) is
// given its size back instead, keeping the bytes it still has.
Handle CreateNamedMapping(const char* name, std::size_t size);

// Opens an existing named mapping for a client; never creates one. Null when there is none
// (on POSIX also when no process holds it any more, or when it is not trusted as above), or
// when it holds fewer than `size` bytes; *tooSmall (may be null) then tells the two apart.
Handle OpenNamedMapping(const char* name, std::size_t size, bool* tooSmall);

// Maps the whole mapping read/write (FILE_MAP_ALL_ACCESS) from offset 0. Returns null on
// failure. The view stays valid until the process ends; there is no unmap, and the view keeps
// the mapping alive after its handle is closed. POSIX: another process that shrinks the object
// cannot crash this one; the pages it took away read as zero here from then on.
void* MapWholeView(Handle mapping);

// Whether another process has cut the mapping short since this process made or opened it;
// *keptBytes (may be null) then says how many bytes the object still has. Windows and in-memory:
// a section cannot shrink, always false.
bool MappingCutShort(Handle mapping, std::size_t* keptBytes);
// Gives a mapping that was cut short its size back (its bytes reserved) and maps `view`, a view
// of it from MapWholeView, onto it again, so this process and its clients share every page
// once more; the bytes the object lost read as zero until written. Returns 0, or -1 when the
// size or the view cannot be restored (no room, not a mapping of this port).
int RestoreMappingSize(Handle mapping, void* view);

// ---------------------------------------------------------------------------------------------
// Events (CreateEventA / OpenEventA / SetEvent / ResetEvent / WaitForSingleObject).

// Creates a named event, inheritable handle, with the access and lifetime of a named mapping
// (Windows: null DACL; POSIX: root and the `vigilagent` group, 0660, gone with its last
// holder). Fails (returns null) when the name is taken by something that is not an event or
// cannot be made; when an event of that name exists it is opened, as CreateEventA does.
// POSIX: no process that dies, stops or writes garbage into the event can make a wait on it
// outlast its timeout (garbage may wake a waiter once without a SetEvent).
Handle CreateNamedEvent(const char* name, bool manualReset, bool initialState);
// Opens an existing named event with EVENT_ALL_ACCESS, handle not inheritable. Null on failure
// (POSIX: also when no process holds the event any more).
Handle OpenNamedEvent(const char* name);
// Unnamed event, default security. Null on failure.
Handle CreateUnnamedEvent(bool manualReset, bool initialState);
bool SetEvent(Handle event);
bool ResetEvent(Handle event);

constexpr uint32_t kInfinite = 0xFFFFFFFFu;
enum class WaitResult { kSignaled, kTimeout, kFailed };
// Waits until the event is signalled or `timeoutMs` passes (kInfinite: no limit).
WaitResult WaitForEvent(Handle event, uint32_t timeoutMs);

// Closes any handle this port returned (event, mapping, device, thread). Null is ignored.
void CloseHandle(Handle handle);

// ---------------------------------------------------------------------------------------------
// Threads and time.

using ThreadFn = void (*)(void* arg);
// Starts a thread running fn(arg) at once; the thread is detached (its handle is not kept).
bool StartThread(ThreadFn fn, void* arg);
void SleepMs(uint32_t ms);

// ---------------------------------------------------------------------------------------------
// Registry (Reg*A under HKEY_LOCAL_MACHINE; on POSIX a SQLite database,
// /var/lib/vigilagent/registry.db). Results are Win32 error codes.

constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorRegistryIo = 1016;  // ERROR_REGISTRY_IO_FAILED: storage unusable

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyRead = 0x20019;

using RegHandle = void*;

// RegCreateKeyExA(HKLM, path, 0, no class, REG_OPTION_NON_VOLATILE, access, default security).
// Creates the key and missing parents. Key paths compare case-insensitively; the case of first
// creation is kept.
long RegCreateKey(const char* path, uint32_t access, RegHandle* out);
// RegOpenKeyExA: opens an existing key only (kErrorFileNotFound when absent).
long RegOpenKey(const char* path, uint32_t access, RegHandle* out);
// RegQueryValueExA. `type` may be null. On entry *size is the capacity of `data` (data may be
// null to ask for the size); on return it is the stored length. A capacity smaller than the
// stored data gives kErrorMoreData and leaves `data` unspecified (never written past *size).
long RegQueryValue(RegHandle key, const char* name, uint32_t* type, void* data, uint32_t* size);
// RegSetValueExA. Each write is durable and atomic on its own.
long RegSetValue(RegHandle key, const char* name, uint32_t type, const void* data, uint32_t size);
// RegEnumValueA at `index` in creation order (a rewritten value keeps its place). *nameCap is
// the capacity in characters including the terminator, and returns the name length without it;
// *dataSize as for RegQueryValue. `type`, `data` and `dataSize` may be null.
long RegEnumValue(RegHandle key, uint32_t index, char* name, uint32_t* nameCap, uint32_t* type,
                  void* data, uint32_t* dataSize);
// RegEnumKeyExA: the name of direct subkey `index` (in creation order).
long RegEnumKey(RegHandle key, uint32_t index, char* name, uint32_t* nameCap);
// RegDeleteValueA.
long RegDeleteValue(RegHandle key, const char* name);
// RegDeleteTreeA(HKLM, path) + removal of the key itself: the key, its values and all subkeys.
long RegDeleteKeyTree(const char* path);
long RegCloseKey(RegHandle key);

// Bounds of the registry: Windows' own for key names (255 characters), value names (16383)
// and key nesting (512 levels); data kept to 1 MiB so that one caller cannot bloat the store
// every process shares. The POSIX store refuses names and data beyond them; tools that write
// what they are given (vigilctl reg import) check all four before they write anything.
constexpr std::size_t kRegMaxKeyName = 255;
constexpr std::size_t kRegMaxValueName = 16383;
constexpr uint32_t kRegMaxValueData = 1u << 20;
constexpr std::size_t kRegMaxKeyDepth = 512;

// Runs body(context), whose registry calls through this port on the calling thread are then
// applied together or not at all: kept when body returns kErrorSuccess, undone otherwise.
// Returns body's result, or the error of starting or committing the change. Any thread; other
// threads' registry calls wait until it returns. POSIX: one SQLite transaction. Windows: the
// Win32 registry has no transactions outside the kernel transaction manager, so the calls are
// applied as they are made and a failure part-way leaves the earlier ones in place; callers
// validate everything before they start so that only the registry itself can fail.
using RegBatchFn = long (*)(void* context);
long RegApplyAtomically(RegBatchFn body, void* context);

// ---------------------------------------------------------------------------------------------
// System event log (RegisterEventSourceA / ReportEventA / DeregisterEventSource).
// POSIX: the journal (or syslog) with identifier "Vigil Agent" and a JSON line per report in
// /var/log/vigilagent/events.log.

constexpr uint16_t kEventTypeError = 1;
constexpr uint16_t kEventTypeWarning = 2;
constexpr uint16_t kEventTypeInformation = 4;

Handle RegisterEventSource(const char* source);

// A structured field of a report, for logs that keep fields a pipeline filters on. `name` is
// upper-case letters, digits and '_' and does not start with '_' (journal field rules); both
// strings are only read during the call.
struct EventField {
  const char* name;
  const char* value;
};

// Reports event `eventId` with one insertion string. Returns whether it was recorded.
// `fields` (may be null with fieldCount 0) travel with the report where the log keeps them.
// POSIX: a journal entry with MESSAGE, PRIORITY, SYSLOG_IDENTIFIER and the fields; where no
// journal takes it, the plain syslog line instead; both cases also the events.log JSON line
// with the same fields. The events.log lines of one handle are written together when it is
// deregistered (or earlier, once 64 KiB wait): a run of reports through one handle costs one
// write. Win32: the fields are not part of an event log record and are dropped.
bool ReportEvent(Handle source, uint16_t type, uint16_t category, uint32_t eventId,
                 const char* insertionString, const EventField* fields = nullptr, std::size_t fieldCount = 0);
void DeregisterEventSource(Handle source);

// Full path of the running executable (GetModuleFileNameA(NULL, ...)); NUL-terminated, cut to
// the buffer. Returns the length copied (0 on failure).
std::size_t GetModuleFileName(char* buffer, std::size_t capacity);

// ---------------------------------------------------------------------------------------------
// Message boxes (MessageBoxA with no owner). Never blocks the caller for a reply on POSIX, and
// on Windows a service has no desktop, so the text is also logged where an administrator reads
// it (POSIX: stderr, syslog and /var/log/vigilagent/messages.log).

constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;
void MessageBox(const char* text, const char* caption, uint32_t flags);

// ---------------------------------------------------------------------------------------------
// Power off with the privilege and version sequence of the platform. POSIX: sync() and a
// power-off request; inside a sandbox root (VIGIL_ROOT set and not "/") only a line in
// /var/lib/vigilagent/poweroff.log is written. Results are ignored by the caller.
void ShutdownSystem(const char* message);

// ---------------------------------------------------------------------------------------------
// Device channel (CreateFileA on \\.\NAME + DeviceIoControl). POSIX: the UNIX stream socket
// /run/<name lowercased>.sock under the root (\\.\HwGate -> /run/hwgate.sock).

// Opens the device with GENERIC_READ, share read|write, OPEN_EXISTING. Null when absent.
Handle OpenDevice(const char* path);
// Synchronous DeviceIoControl. `in` and `out` may be the same buffer. Returns the Win32
// success flag; *returned (may be null) receives the byte count the device reported, bounded
// by outLen. Safe to call from two threads on one handle at once. A broken device connection
// makes the call fail; it never raises a signal.
bool DeviceIoControl(Handle device, uint32_t code, const void* in, uint32_t inLen, void* out,
                     uint32_t outLen, uint32_t* returned);

// An in-process device: OpenDevice(path) of a registered path reaches `fn` instead of the OS.
// Used by tests and benchmarks to put a scripted or simulated platform behind the agent's
// real channel code. Register before OpenDevice; pass fn = nullptr to remove. A handle stays on
// the registration it was opened on: once that is removed or replaced, its calls fail.
using LocalDeviceFn = bool (*)(void* context, uint32_t code, const void* in, uint32_t inLen,
                               void* out, uint32_t outLen, uint32_t* returned);
void RegisterLocalDevice(const char* path, LocalDeviceFn fn, void* context);

// The provider side of the channel, POSIX only (the platform providers serve UNIX sockets).
// The socket a provider serves `devicePath` on, where OpenDevice looks for it ("\\.\HwGate"
// -> /run/hwgate.sock under the root); empty when the path names no device.
std::string DeviceSocketPath(const char* devicePath);
// `absolutePath` (starting with '/') under the root, for a provider's other sockets.
std::string RootedPath(const char* absolutePath);
// Who may connect to a provider's socket: the owner and the port's access group, as for the
// port's named objects (the device socket, which the agent and its clients reach), or the
// owner alone (a socket that changes what the platform reports).
enum class SocketAccess { kOwnerAndGroup, kOwnerOnly };
// Gives the socket file at `path` the port's access group and the mode `access` names, without
// following a final symbolic link. Returns success (errno set on failure).
bool SetSocketAccess(const char* path, SocketAccess access);

// ---------------------------------------------------------------------------------------------
// Files given by Windows path ("c:\\test_log.csv"). POSIX maps drive c:\ to
// /var/lib/vigilagent/drive_c/ and backslashes to slashes. fopen semantics.
std::FILE* OpenFile(const char* windowsPath, const char* mode);

// ---------------------------------------------------------------------------------------------
// Service host (StartServiceCtrlDispatcherA / RegisterServiceCtrlHandlerA / SetServiceStatus).
// POSIX: the dispatcher runs the service entry on a new thread and turns signals into control
// codes on the calling thread: SIGTERM/SIGINT -> 1 (STOP), SIGPWR -> 5 (SHUTDOWN),
// SIGUSR1 -> 128, SIGUSR2 -> 4 (INTERROGATE). Status reports go to /run/vigilagent/status and,
// under systemd, to NOTIFY_SOCKET.

struct ServiceStatus {
  uint32_t serviceType;
  uint32_t currentState;
  uint32_t controlsAccepted;
  uint32_t win32ExitCode;
  uint32_t serviceSpecificExitCode;
  uint32_t checkPoint;
  uint32_t waitHint;
};
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;
// Service types and accepted controls of the status record (SERVICE_WIN32_*, SERVICE_ACCEPT_*).
constexpr uint32_t kServiceWin32OwnProcess = 0x10;
constexpr uint32_t kServiceWin32ShareProcess = 0x20;
constexpr uint32_t kAcceptStop = 0x1;
constexpr uint32_t kAcceptShutdown = 0x4;
// Control codes the handler receives (SERVICE_CONTROL_*); from 128 on the codes are the
// service's own, and the agent's one reloads its parameters.
constexpr uint32_t kControlStop = 1;
constexpr uint32_t kControlInterrogate = 4;
constexpr uint32_t kControlShutdown = 5;
constexpr uint32_t kControlReloadParameters = 128;

using ServiceMainFn = void (*)(uint32_t argc, char** argv);
using ServiceCtrlHandlerFn = void (*)(uint32_t control);

// Blocks until the service entry has returned. Returns true (non-zero) when the service ran,
// false when the process could not be connected to the service manager.
bool StartServiceDispatcher(const char* serviceName, ServiceMainFn serviceMain);
// Returns the status handle, or null on failure. Called on the service thread.
Handle RegisterServiceCtrlHandler(const char* serviceName, ServiceCtrlHandlerFn handler);
bool SetServiceStatus(Handle statusHandle, const ServiceStatus& status);
// A word that goes with every later status report of this process, for what the state alone
// cannot say (the agent runs, but clients cannot see it). POSIX: " note=<word>" at the end of
// the status file line and " (<word>)" after systemd's STATUS=; Windows has no place for it
// (the event log tells). Null or "" clears it.
void SetServiceStatusNote(const char* note);

}  // namespace os
