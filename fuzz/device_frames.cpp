// libFuzzer: a byte stream from a client, read as request frames the way the provider's frame
// server reads them (the header decoded and checked, then its input), each answered by the
// provider's Serve from a small simulated platform, and the response frame read back with the
// client's decoder. Any response the client would refuse, or a payload that differs from what
// the header announces, is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "contract/device_frames.h"
#include "core/core.h"
#include "core/event_log.h"
#include "core/smbios_builder.h"
#include "provider/socket/frame_server.h"

namespace {

namespace frames = vigil::frames;

hwsim::Core* NewPlatform() {
  static hwsim::Core core;
  hwsim::ResetCore(core);
  // A temperature probe, a cooling device and an event log area, each with its own handle.
  static const uint8_t probe[18] = {0, 0x63, 0xE8, 0x03, 0x00, 0x00, 0x0A, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0x01};
  static const uint8_t fan[10] = {0xFF, 0xFF, 0x63, 0x01, 0x00, 0x00, 0, 0, 0xB8, 0x0B};
  static const uint8_t log[19] = {0x00, 0x04, 0x00, 0x00, 0x10, 0x00, 0x04, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x01, 0, 0};
  static const char* const name[] = {"CPU"};
  const hwsim::StructureDef defs[] = {
      {28, 0x40, probe, sizeof probe, name, 1, 1},
      {27, 0x41, fan, sizeof fan, name, 1, 1},
      {15, 0x42, log, sizeof log, nullptr, 0, 1},
  };
  uint32_t failed = 0;
  if (hwsim::BuildSmbiosTable(core, hwsim::Layout::kStandard, defs, 3, &failed) != hwsim::BuildResult::kOk) std::abort();
  const uint8_t record[] = {0x10, 0x0C, 0x25, 0x06, 0x01, 0x09, 0x30, 0x00, 0x21, 0x00, 0x00, 0x00};
  for (int i = 0; i < 3; ++i) hwsim::AppendLogRecord(core, record, sizeof record);
  return &core;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hwsim::Core* core = NewPlatform();
  const hwgate::DeviceCall call = [core](uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
                                         uint32_t* returned) {
    return hwsim::Serve(*core, code, buffer, inLength, outLength, returned);
  };
  size_t at = 0;
  while (size - at >= frames::kHeaderSize) {
    const frames::RequestHeader request = frames::DecodeRequest(data + at);
    at += frames::kHeaderSize;
    if (!frames::RequestAcceptable(request) || size - at < request.inLength) break;
    const std::vector<uint8_t> response = hwgate::AnswerRequest(call, request, data + at);
    at += request.inLength;
    if (response.size() < frames::kHeaderSize) std::abort();
    const frames::ResponseHeader header = frames::DecodeResponse(response.data());
    if (!frames::ResponseFits(header, request.outLength)) std::abort();
    const size_t payload = header.success != 0 ? header.returned : 0;
    if (response.size() != frames::kHeaderSize + payload) std::abort();
  }
  return 0;
}
