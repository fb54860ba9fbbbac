// One request with its answer judged: the callers of the transport want to know "usable
// answer", "the BMC said no (and why)", "no answer at all" or "an answer too short to use",
// never to read a completion code or a length themselves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipmi/bmc_transport.h"

namespace hwlinux::ipmi {

enum class AskResult {
  kOk,        // completion code 00h and at least the bytes the caller needs
  kRefused,   // another completion code (in response->completionCode)
  kShort,     // completion code 00h but fewer bytes than the command's answer has
  kNoAnswer,  // nothing came back (device error or time limit)
};

// Exchanges `request` and judges the answer against `minLength` data bytes. An answer that
// says the BMC is only busy for now (IsTemporary) is asked again, up to kBusyRetries times
// after waits of 50, 100 and 200 ms. Same threads as the transport.
AskResult Ask(BmcTransport& transport, const BmcRequest& request, std::size_t minLength,
              BmcResponse* response);

constexpr int kBusyRetries = 3;

// Completion codes that mean "not now" rather than "no": node busy (C0h), timeout (C3h),
// initialization in progress (D2h).
bool IsTemporary(uint8_t code);

// Short text for a completion code, for log lines ("timeout", "reservation lost", ...).
const char* DescribeCompletionCode(uint8_t code);

}  // namespace hwlinux::ipmi
