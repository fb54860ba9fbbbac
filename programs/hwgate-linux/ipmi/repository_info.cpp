#include "ipmi/repository_info.h"

#include "contract/le_bytes.h"
#include "ipmi/bmc_exchange.h"
#include "ipmi/ipmi_codes.h"

namespace hwlinux::ipmi {

int GetRepositoryInfo(BmcTransport& transport, uint8_t cmd, RepositoryInfo* info, uint8_t* code) {
  BmcRequest request;
  request.netFn = kNetFnStorage;
  request.cmd = cmd;
  BmcResponse response;
  const AskResult result = Ask(transport, request, kRepositoryInfoSize, &response);
  *code = response.completionCode;
  if (result != AskResult::kOk) return -1;
  const uint8_t* d = response.data;
  info->version = d[0];
  info->count = vigil::le::Load16(d + 1);
  info->freeBytes = vigil::le::Load16(d + 3);
  info->lastAddTime = vigil::le::Load32(d + 5);
  info->lastEraseTime = vigil::le::Load32(d + 9);
  info->operations = d[13];
  return 0;
}

uint32_t SelCapacity(const RepositoryInfo& info) {
  return uint32_t(info.count) + info.freeBytes / kSelRecordSize;
}

}  // namespace hwlinux::ipmi
