// vigilctl set-param cpu-overtemp-shutdown|clear-event-log on|off
#include <cstdio>
#include <cstring>
#include <string>

#include "agent_request.h"
#include "client_block.h"
#include "command.h"
#include "contract/registry_paths.h"
#include "os/os.h"
#include "traps_config.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigilctl {
namespace {

struct Parameter {
  const char* option;
  std::size_t blockOffset;
  const char* registryValue;
};
const Parameter kParameters[] = {
    {"cpu-overtemp-shutdown", vigil::block::kCpuOverTempShutdown, vigil::kCpuOverTempShutdownValue},
    {"clear-event-log", vigil::block::kClearEventLogEnabled, vigil::kClearEventLogEnabledValue},
};

constexpr uint32_t kSaveWaitMs = 5000;
constexpr uint32_t kSavePollMs = 20;
constexpr uint32_t kResignalMs = 200;

// The saved DWORD, or false when the key or value is missing or not a DWORD.
bool ReadSaved(const char* valueName, uint32_t* value) {
  std::string path = std::string(vigil::kParametersBasePath) + vigil::kAgentParameterSubkey;
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
  uint32_t type = 0;
  uint32_t size = sizeof *value;
  long rc = os::RegQueryValue(key, valueName, &type, value, &size);
  os::RegCloseKey(key);
  return rc == os::kErrorSuccess && type == os::kRegDword && size == sizeof *value;
}

int Usage() {
  std::fprintf(stderr, "usage: vigilctl set-param cpu-overtemp-shutdown|clear-event-log on|off\n"
                       "       vigilctl set-param trap-destinations|trap-version|trap-community|"
                       "trap-min-severity|trap-rate|trap-inform|trap-v3-user|trap-v3-auth-passphrase|"
                       "trap-v3-priv-passphrase|trap-v3-engine-id|trap-v3-manager-engine-id VALUE\n");
  return kExitUsage;
}

}  // namespace

int RunSetParam(int argc, char** argv) {
  if (argc != 3) return Usage();
  if (IsTrapSetting(argv[1])) return SetTrapSetting(argv[1], argv[2]);
  const Parameter* parameter = nullptr;
  for (const Parameter& p : kParameters) {
    if (std::strcmp(argv[1], p.option) == 0) parameter = &p;
  }
  const bool on = std::strcmp(argv[2], "on") == 0;
  if (parameter == nullptr || (!on && std::strcmp(argv[2], "off") != 0)) return Usage();
  const uint32_t wanted = on ? 1 : 0;

  uint8_t* block = nullptr;
  if (int rc = AttachBlock(&block); rc != kExitOk) return rc;
  if (!AgentStarted(block)) return kExitNoAnswer;
  // A save writes both parameters from the block; the other one goes back as the block holds it.
  vigil::block::StoreU32(block, parameter->blockOffset, wanted);
  if (int rc = SendRequest(block, vigil::kRequestSaveParameters, false); rc != kExitOk) return rc;

  // A save gives no reply: the registry itself is the confirmation.
  for (uint32_t waited = 0; waited <= kSaveWaitMs; waited += kSavePollMs) {
    uint32_t saved = 0;
    if (ReadSaved(parameter->registryValue, &saved) && saved == wanted) {
      std::printf("%s = %u saved\n", parameter->registryValue, wanted);
      return kExitOk;
    }
    os::SleepMs(kSavePollMs);
    // A request can be wiped out by the agent's reset for its next wait: signal again.
    if ((waited + kSavePollMs) % kResignalMs == 0) SendRequest(block, vigil::kRequestSaveParameters, false);
  }
  std::fprintf(stderr, "vigilctl: agent not answering: \"%s\" was not saved as %u within %u ms\n",
               parameter->registryValue, wanted, kSaveWaitMs);
  return kExitNoAnswer;
}

}  // namespace vigilctl
