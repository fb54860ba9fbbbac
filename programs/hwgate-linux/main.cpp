// hwgate-linux: the Linux platform provider. Serves the agent's device socket from the
// machine's own kernel interfaces (SMBIOS tables, dmi-sysfs, hwmon, the BMC).
//   hwgate-linux [--sysfs-root DIR] [--dev-root DIR] [--event-log auto|smbios|ipmi|none]
//                [--config FILE] [--probe]
#include <iostream>
#include <string>
#include <vector>

#include "contract/driver_protocol.h"
#include "options.h"
#include "os/os.h"
#include "probe_report.h"
#include "provider.h"
#include "provider/socket/frame_server.h"
#include "provider/socket/socket_server.h"
#include "startup.h"

namespace {

int Serve(hwlinux::Startup& startup) {
  hwlinux::Provider provider(startup.table, startup.sources.log.get(), std::move(startup.snapshot));
  hwgate::DeviceCall call = [&provider](uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
                                        uint32_t* returned) {
    return provider.Serve(code, buffer, inLength, outLength, returned);
  };
  std::string error;
  std::string path = os::DeviceSocketPath(vigil::kDriverPath);
  hwgate::SocketServer server;
  // Only root and the agent's group may reach the machine's firmware and BMC through it.
  if (server.Listen(path, os::SocketAccess::kOwnerAndGroup, [&call](int fd) { hwgate::ServeDeviceConnection(fd, call); },
                    &error) != 0) {
    std::cerr << "hwgate-linux: " << error << "\n";
    return 1;
  }
  int stopped = server.Run([&] {
    std::cout << "hwgate-linux: serving " << path << " (mode 0660, the agent's group)" << std::endl;
  });
  if (stopped < 0) {
    std::cerr << "hwgate-linux: cannot start serving\n";
    return 1;
  }
  hwlinux::ProviderStats stats = provider.Stats();
  std::cout << "hwgate-linux: stopped after " << stats.tableReads << " table reads, " << stats.logExchanges
            << " log reads, " << stats.sensorCommands << " sensor commands, " << stats.logFullAlerts
            << " log-full alerts" << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  hwlinux::Options options;
  std::string error;
  if (hwlinux::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error) != 0) {
    std::cerr << "hwgate-linux: " << error << "\n" << hwlinux::kUsage;
    return 2;
  }
  hwlinux::Startup startup;
  if (hwlinux::PrepareStartup(options, hwlinux::SystemFiles(), &startup, &error) != 0) {
    std::cerr << "hwgate-linux: " << error << "\n";
    return 2;
  }
  for (const std::string& line : startup.lines) std::cerr << "hwgate-linux: " << line << "\n";
  if (options.probe) {
    hwlinux::PrintProbeReport(startup, std::cout);
    return 0;
  }
  return Serve(startup);
}
