// service_control SERVICE CODE: `sc control SERVICE CODE` for Wine, whose sc.exe lacks it.
// Opens the service with SERVICE_USER_DEFINED_CONTROL | SERVICE_STOP | SERVICE_INTERROGATE
// (enough for any code from 1 to 255) and calls ControlService. Exit 0 when the call succeeds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  char* end = nullptr;
  unsigned long code = argc == 3 ? std::strtoul(argv[2], &end, 0) : 0;
  if (argc != 3 || *end != '\0' || code == 0 || code > 255) {
    std::fprintf(stderr, "usage: service_control SERVICE CODE (1..255)\n");
    return 2;
  }
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) {
    std::fprintf(stderr, "service_control: OpenSCManager failed: %lu\n", GetLastError());
    return 1;
  }
  SC_HANDLE service = OpenServiceA(manager, argv[1],
                                   SERVICE_USER_DEFINED_CONTROL | SERVICE_STOP | SERVICE_INTERROGATE);
  if (service == nullptr) {
    std::fprintf(stderr, "service_control: OpenService %s failed: %lu\n", argv[1], GetLastError());
    CloseServiceHandle(manager);
    return 1;
  }
  SERVICE_STATUS status = {};
  BOOL ok = ControlService(service, code, &status);
  if (!ok) std::fprintf(stderr, "service_control: ControlService %lu failed: %lu\n", code, GetLastError());
  else std::printf("%s: control %lu sent, state %lu\n", argv[1], code, status.dwCurrentState);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return ok ? 0 : 1;
}
