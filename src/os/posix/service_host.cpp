// Service host: the process runs in the foreground as a systemd (Type=notify) daemon. The
// dispatcher runs the service entry on its own thread and turns signals into control codes on
// the calling thread, where Windows runs the control handler too.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>

#include "os/os.h"
#include "os/posix/library_pages.h"
#include "os/posix/line_files.h"
#include "os/posix/port_object.h"
#include "os/posix/root_paths.h"
#include "os/posix/service_status.h"

namespace os {
namespace {

// The one status handle of the process. Windows does not close it either: closing is a no-op.
class StatusHandle final : public posix::PortObject {
 public:
  void Close() override {}
};

struct Dispatcher {
  std::mutex mutex;  // guards running and name
  bool running = false;
  std::string name;
  ServiceMainFn serviceMain = nullptr;
  pthread_t dispatcherThread{};
  std::atomic<ServiceCtrlHandlerFn> handler{nullptr};
  std::atomic<bool> serviceEnded{false};
};

Dispatcher& TheDispatcher() {
  static Dispatcher dispatcher;
  return dispatcher;
}

StatusHandle* TheStatusHandle() {
  static StatusHandle* handle = new StatusHandle;  // never freed: handles may outlive statics
  return handle;
}

std::string StatusPath() { return posix::RootedPath("/run/vigilagent/status"); }

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signo : {SIGTERM, SIGINT, SIGPWR, SIGUSR1, SIGUSR2}) sigaddset(&set, signo);
  return set;
}

// Sent by the service thread to the dispatcher's thread when the service entry has returned:
// the dispatcher then waits for signals without a time limit and the process does not wake
// between polls unless a control or a client asks.
int ServiceEndedSignal() { return SIGRTMIN; }

// The control signals and the end signal: blocked in every thread, taken by the wait alone.
sigset_t WaitedSignals() {
  sigset_t set = ControlSignals();
  sigaddset(&set, ServiceEndedSignal());
  return set;
}

uint32_t ControlForSignal(int signo) {
  switch (signo) {
    case SIGTERM:
    case SIGINT: return kControlStop;
    case SIGPWR: return kControlShutdown;
    case SIGUSR1: return kControlReloadParameters;
    default: return kControlInterrogate;  // SIGUSR2
  }
}

void* RunService(void* raw) {
  auto* dispatcher = static_cast<Dispatcher*>(raw);
  std::string name = dispatcher->name;
  char* argv[] = {name.data(), nullptr};
  dispatcher->serviceMain(1, argv);
  // Stored before the signal is sent: the dispatcher tests the flag before every wait, and a
  // signal sent while it is between test and wait stays pending for that wait.
  dispatcher->serviceEnded.store(true);
  pthread_kill(dispatcher->dispatcherThread, ServiceEndedSignal());
  return nullptr;
}

}  // namespace

bool StartServiceDispatcher(const char* serviceName, ServiceMainFn serviceMain) {
  if (serviceName == nullptr || *serviceName == '\0' || serviceMain == nullptr) return false;
  Dispatcher& dispatcher = TheDispatcher();
  {
    std::lock_guard<std::mutex> lock(dispatcher.mutex);
    if (dispatcher.running) return false;
    dispatcher.running = true;
    dispatcher.name = serviceName;
  }
  dispatcher.serviceMain = serviceMain;
  dispatcher.handler.store(nullptr);
  dispatcher.serviceEnded.store(false);
  posix::TruncateFile(StatusPath());
  // One heap for every thread: a service's threads allocate little, and an arena per thread
  // would keep each one's freed pages (the start-up's parsing, a batch of reports) resident,
  // where the main heap gives them back.
  mallopt(M_ARENA_MAX, 1);

  // Blocked before the service thread starts, so it and every thread it starts inherit the
  // mask and the signals reach only the sigwaitinfo below. They stay blocked after the
  // service ends: a late SIGTERM then stays pending instead of killing a process that is
  // about to exit with its proper status.
  sigset_t waited = WaitedSignals();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &waited, &previous);
  dispatcher.dispatcherThread = pthread_self();
  pthread_t thread;
  if (pthread_create(&thread, nullptr, RunService, &dispatcher) != 0) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    std::lock_guard<std::mutex> lock(dispatcher.mutex);
    dispatcher.running = false;
    return false;
  }
  while (!dispatcher.serviceEnded.load()) {
    int signo = sigwaitinfo(&waited, nullptr);
    if (signo <= 0 || signo == ServiceEndedSignal()) continue;
    if (ServiceCtrlHandlerFn handler = dispatcher.handler.load()) handler(ControlForSignal(signo));
  }
  pthread_join(thread, nullptr);
  std::lock_guard<std::mutex> lock(dispatcher.mutex);
  dispatcher.running = false;
  return true;
}

Handle RegisterServiceCtrlHandler(const char* serviceName, ServiceCtrlHandlerFn handler) {
  if (serviceName == nullptr || handler == nullptr) return nullptr;
  Dispatcher& dispatcher = TheDispatcher();
  std::lock_guard<std::mutex> lock(dispatcher.mutex);
  // As on Windows, only a service that this process's dispatcher is running can register.
  if (!dispatcher.running || strcasecmp(serviceName, dispatcher.name.c_str()) != 0) {
    return nullptr;
  }
  dispatcher.handler.store(handler);
  return posix::ToHandle(TheStatusHandle());
}

namespace {
std::mutex gNoteMutex;
std::string gNote;
}  // namespace

void SetServiceStatusNote(const char* note) {
  std::lock_guard<std::mutex> lock(gNoteMutex);
  gNote = note != nullptr ? posix::OneLine(note) : "";
}

bool SetServiceStatus(Handle statusHandle, const ServiceStatus& status) {
  posix::HandleRef<StatusHandle> handle(statusHandle);
  if (!handle || posix::ServiceStateName(status.currentState) == nullptr) return false;
  std::string line = posix::StatusLine(status);
  std::string message = posix::NotifyMessage(status);
  {
    std::lock_guard<std::mutex> lock(gNoteMutex);
    if (!gNote.empty()) {
      line.insert(line.size() - 1, " note=" + gNote);
      message += " (" + gNote + ")";
    }
  }
  // Start-up is over: what it allocated and freed (tables parsed, files read) goes back, and
  // so do the code and constant pages that only loading and starting touched (libm's, which
  // only the loader's symbol binding runs, start-up paths of SQLite and the agent). What the
  // polls run comes back from the page cache at the first of them.
  if (status.currentState == kServiceRunning) {
    malloc_trim(0);
    posix::DropPages(posix::ReadOnlyPages([](const char*, std::uintptr_t) { return true; }));
  }
  bool recorded = posix::AppendLine(StatusPath(), line);
  if (const char* notifySocket = std::getenv("NOTIFY_SOCKET")) posix::SendNotify(notifySocket, message);
  return recorded;
}

}  // namespace os
