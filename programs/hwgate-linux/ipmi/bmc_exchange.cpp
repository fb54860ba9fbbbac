#include "ipmi/bmc_exchange.h"

#include <time.h>

#include "ipmi/ipmi_codes.h"

namespace hwlinux::ipmi {

namespace {

constexpr int kFirstBusyWaitMs = 50;

}  // namespace

void BmcTransport::Pause(int milliseconds) {
  timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

bool IsTemporary(uint8_t code) {
  return code == kCcNodeBusy || code == kCcTimeout || code == kCcInitializing;
}

AskResult Ask(BmcTransport& transport, const BmcRequest& request, std::size_t minLength,
              BmcResponse* response) {
  int waitMs = kFirstBusyWaitMs;
  for (int retry = 0;; ++retry) {
    if (transport.Exchange(request, response) != 0) return AskResult::kNoAnswer;
    if (!IsTemporary(response->completionCode) || retry == kBusyRetries) break;
    transport.Pause(waitMs);
    waitMs *= 2;
  }
  if (response->completionCode != kCcOk) return AskResult::kRefused;
  if (response->length < minLength) return AskResult::kShort;
  return AskResult::kOk;
}

const char* DescribeCompletionCode(uint8_t code) {
  switch (code) {
    case kCcOk: return "ok";
    case kCcNodeBusy: return "node busy";
    case 0xC1: return "invalid command";
    case 0xC2: return "invalid for this LUN";
    case kCcTimeout: return "timeout";
    case 0xC4: return "out of space";
    case kCcReservationLost: return "reservation lost";
    case 0xC6: return "request data truncated";
    case 0xC7: return "request data length invalid";
    case 0xC8: return "request data field too long";
    case 0xC9: return "parameter out of range";
    case kCcCannotReturnBytes: return "cannot return the requested number of bytes";
    case kCcNotPresent: return "requested sensor, data or record not present";
    case 0xCC: return "invalid data field";
    case 0xCD: return "illegal for this sensor or record type";
    case 0xCE: return "response could not be provided";
    case 0xD0: return "SDR repository in update mode";
    case 0xD1: return "firmware update mode";
    case kCcInitializing: return "BMC initialization in progress";
    case 0xD5: return "not supported in the present state";
    case 0xFF: return "unspecified error";
    default: return "error";
  }
}

}  // namespace hwlinux::ipmi
