// One device I/O control call on the simulated platform, as the driver's dispatch routine
// hands it over: the agent's three codes go to the simulation core, the private codes of
// control_codes.h change the scenario. Freestanding (kernel mode), so it is unit-tested natively.
#pragma once

#include <cstdint>

#include "core/core.h"

namespace hwsim::control {

enum class Outcome {
  kOk,
  kRefused,      // the core did not answer (unknown code, short buffer, fault, unknown handle)
  kBadLength,    // a private code with buffer lengths it does not take
  kBadInput,     // a private code whose input makes no sense for this core
  kUnknownCode,  // not METHOD_BUFFERED: no system buffer to look at
};

// `buffer` is the METHOD_BUFFERED system buffer: `inLength` input bytes on entry, room for
// max(inLength, outLength) bytes, answered in place. It may be null only when both lengths are
// 0. *returned gets the bytes to copy back (0 unless kOk, never above outLength). Never
// touches a byte outside the buffer, whatever the lengths. The caller serialises calls.
Outcome HandleDeviceControl(Core& core, uint32_t code, uint8_t* buffer, uint32_t inLength,
                            uint32_t outLength, uint32_t* returned);

}  // namespace hwsim::control
