// The core repeats the agent's control codes and block sizes (it cannot include the port in
// kernel mode); this is where the two are held to each other.
#include "agent/platform/driver_channel.h"
#include "core/codes.h"

static_assert(hwsim::kIoctlReadSmbiosTable == vigil::kIoctlReadSmbiosTable);
static_assert(hwsim::kIoctlReadEventLog == vigil::kIoctlReadEventLog);
static_assert(hwsim::kIoctlDeviceCommand == vigil::kIoctlDeviceCommand);
static_assert(hwsim::kSmbiosBufferSize == vigil::kSmbiosTableSize);
static_assert(hwsim::kCommandBlockSize == vigil::kCommandBlockSize);
static_assert(hwsim::kCommandResponseOffset == vigil::kCommandResponseOffset);
static_assert(hwsim::kCommandReadSensor == vigil::kCommandReadSensor);
static_assert(hwsim::kCommandLogAlert == vigil::kCommandLogAlert);
