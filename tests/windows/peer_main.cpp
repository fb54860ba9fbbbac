// windows_peer.exe: the "other process" of the cross-process tests. It plays a client that
// makes kernel objects with default security before the agent does, or touches the agent's.
//
//   windows_peer mapping NAME SIZE   make the mapping, mark its first and last byte with 0xA5,
//                                    set NAME.ready, hold it until NAME.release is set
//   windows_peer event NAME          make the event (manual, not set), set NAME.ready, wait for
//                                    NAME.release; exit 0 when the event was set meanwhile
//   windows_peer set NAME            open the event and set it
//   windows_peer check NAME OFFSET VALUE   exit 0 when the mapping's byte at OFFSET is VALUE
//   windows_peer control SERVICE CODE      send a control code to a service (Wine's sc.exe
//                                          has no "control" command)
// Exit codes: 0 success, 2 usage, 3 failed call, 4 mismatch or timeout.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kHoldMs = 30000;

bool Handshake(const std::string& name) {
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + ".ready").c_str());
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (name + ".release").c_str());
  if (ready == nullptr || release == nullptr) return false;
  SetEvent(ready);
  return WaitForSingleObject(release, kHoldMs) == WAIT_OBJECT_0;
}

int HoldMapping(const char* name, unsigned long size) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
  if (mapping == nullptr) return 3;
  auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (view == nullptr) return 3;
  view[0] = 0xA5;
  view[size - 1] = 0xA5;
  return Handshake(name) ? 0 : 4;
}

int HoldEvent(const char* name) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
  if (event == nullptr) return 3;
  if (!Handshake(name)) return 4;
  return WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? 0 : 4;
}

int Set(const char* name) {
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  return event != nullptr && SetEvent(event) ? 0 : 3;
}

int Check(const char* name, unsigned long offset, unsigned long value) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (mapping == nullptr) return 3;
  auto* view = static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  if (view == nullptr) return 3;
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(view, &info, sizeof info) != sizeof info || offset >= info.RegionSize) return 4;
  return view[offset] == value ? 0 : 4;
}

int Control(const char* service, unsigned long code) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return 3;
  SC_HANDLE handle = OpenServiceA(manager, service, SERVICE_USER_DEFINED_CONTROL |
                                                        SERVICE_INTERROGATE | SERVICE_STOP);
  SERVICE_STATUS status{};
  const bool sent = handle != nullptr && ControlService(handle, code, &status);
  if (handle != nullptr) CloseServiceHandle(handle);
  CloseServiceHandle(manager);
  return sent ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  if (command == "mapping" && argc == 4) return HoldMapping(argv[2], std::strtoul(argv[3], nullptr, 0));
  if (command == "event" && argc == 3) return HoldEvent(argv[2]);
  if (command == "set" && argc == 3) return Set(argv[2]);
  if (command == "check" && argc == 5) {
    return Check(argv[2], std::strtoul(argv[3], nullptr, 0), std::strtoul(argv[4], nullptr, 0));
  }
  if (command == "control" && argc == 4) return Control(argv[2], std::strtoul(argv[3], nullptr, 0));
  return 2;
}
