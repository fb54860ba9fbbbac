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

// Exchanges `request` and judges the answer against `minLength` data bytes.
// Same threads as the transport.
AskResult Ask(BmcTransport& transport, const BmcRequest& request, std::size_t minLength,
              BmcResponse* response);

// Short text for a completion code, for log lines ("timeout", "reservation lost", ...).
const char* DescribeCompletionCode(uint8_t code);

}  // namespace hwlinux::ipmi
