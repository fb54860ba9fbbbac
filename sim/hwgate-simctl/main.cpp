// hwgate-simctl: gives the hwgate-sim.sys driver its scenario and changes it at run time, with
// the commands of the Linux simulator's ctl:
//   hwgate-simctl load SCENARIO.json
//   hwgate-simctl append-record HEX | clear-log [FIRST_RECORD_TIME] |
//                 set-sensor HANDLE RAW STATUS | fail-next N [any|smbios|log|command] |
//                 malformed zero-length|overrun | stats
// Each command reads the driver's core, runs the Linux simulator's own loader or ctl command on
// a copy, and sends the difference. Exit codes as `hwgate-sim ctl`: 0 done, 1 refused,
// 2 usage or scenario error, 3 the driver does not answer.
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "change_plan.h"
#include "contract/driver_protocol.h"
#include "control/control_codes.h"
#include "core/core.h"
#include "core/event_log.h"
#include "os/os.h"
#include "scenario/ctl_commands.h"
#include "scenario/scenario_loader.h"

namespace {

using hwsim::Core;
namespace control = hwsim::control;

int Usage() {
  std::cerr << "usage: hwgate-simctl load SCENARIO.json\n"
               "       hwgate-simctl append-record HEX | clear-log [FIRST_RECORD_TIME] |\n"
               "                     set-sensor HANDLE RAW STATUS | fail-next N [any|smbios|log|command] |\n"
               "                     malformed zero-length|overrun | stats\n";
  return 2;
}

class Driver {
 public:
  Driver() : handle_(os::OpenDevice(vigil::kDriverPath)) {}
  ~Driver() { os::CloseHandle(handle_); }
  bool open() const { return handle_ != nullptr; }

  bool Snapshot(Core* core) {
    uint32_t returned = 0;
    return os::DeviceIoControl(handle_, control::kIoctlSnapshot, nullptr, 0, core, sizeof(Core), &returned) &&
           returned == sizeof(Core) && control::PlausibleSnapshot(*core);
  }

  bool Send(const control::Request& request) {
    uint32_t returned = 0;
    const uint8_t* in = request.input.empty() ? nullptr : request.input.data();
    return os::DeviceIoControl(handle_, request.code, in, static_cast<uint32_t>(request.input.size()),
                               nullptr, 0, &returned);
  }

 private:
  os::Handle handle_;
};

int Fail(const std::string& what, int code) {
  std::cerr << "hwgate-simctl: " << what << "\n";
  return code;
}

int Apply(Driver& driver, const Core& before, const Core& after) {
  for (const control::Request& request : control::PlanChanges(before, after)) {
    if (!driver.Send(request)) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", request.code);
      return Fail(std::string("the driver refused control code ") + code, 1);
    }
  }
  return 0;
}

std::string LoadedText(const Core& core) {
  return "loaded sensors=" + std::to_string(core.sensorCount) +
         " log_records=" + std::to_string(hwsim::CountLogRecords(core)) +
         " first_record_time=" + std::to_string(core.firstRecordTime) + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || (args[0] == "load" && args.size() != 2)) return Usage();

  Driver driver;
  // Two cores of about 80 KB each: on the heap, not on the stack.
  auto before = std::make_unique<Core>();
  auto after = std::make_unique<Core>();
  if (!driver.open()) return Fail(std::string("no driver answers on ") + vigil::kDriverPath, 3);
  if (!driver.Snapshot(before.get())) return Fail("the driver gave no usable snapshot of its state", 3);

  std::string reply;
  if (args[0] == "load") {
    if (!hwsim::LoadScenarioFile(args[1].c_str(), after.get(), &reply)) return Fail(reply, 2);
    reply = LoadedText(*after);
  } else {
    std::string line;
    for (const std::string& word : args) line += (line.empty() ? "" : " ") + word;
    *after = *before;
    if (!hwsim::RunControlCommand(*after, line, static_cast<uint32_t>(std::time(nullptr)), &reply)) {
      return Fail(reply, 1);
    }
  }
  int result = Apply(driver, *before, *after);
  if (result == 0) std::cout << reply;
  return result;
}
