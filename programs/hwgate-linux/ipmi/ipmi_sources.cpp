#include "ipmi/ipmi_sources.h"

#include <vector>

#include "ipmi/bmc_exchange.h"
#include "ipmi/dev_ipmi_transport.h"
#include "ipmi/ipmi_codes.h"
#include "ipmi/repository_info.h"
#include "ipmi/sdr_sensor_source.h"
#include "ipmi/sel_log_source.h"

namespace hwlinux::ipmi {

namespace {

std::unique_ptr<DevIpmiTransport> OpenDevice(const std::string& device, std::string* diagnosis) {
  auto transport = std::make_unique<DevIpmiTransport>();
  if (transport->Open(device, diagnosis) != 0) return nullptr;
  return transport;
}

}  // namespace

std::unique_ptr<LogSource> OpenSelLogSource(const std::string& device, std::string* diagnosis) {
  auto transport = OpenDevice(device, diagnosis);
  if (!transport) return nullptr;
  RepositoryInfo info;
  uint8_t code = 0;
  if (GetRepositoryInfo(*transport, kCmdGetSelInfo, &info, &code) != 0) {
    const std::string why = code != kCcOk ? DescribeCompletionCode(code) : "no usable answer";
    if (!IsTemporary(code)) {
      *diagnosis = "the BMC does not answer Get SEL Info (" + why + ")";
      return nullptr;
    }
    // A BMC still starting after a power cycle: the SEL is served once it answers.
    *diagnosis = "the BMC is not ready (" + why + "); the SEL is served once it answers";
  }
  return std::make_unique<SelLogSource>(std::move(transport));
}

std::unique_ptr<SensorSource> OpenSdrSensorSource(const std::string& device, std::string* diagnosis) {
  auto transport = OpenDevice(device, diagnosis);
  if (!transport) return nullptr;
  auto source = std::make_unique<SdrSensorSource>(std::move(transport));
  std::vector<LiveSensor> sensors;
  if (source->ListSensors(&sensors) != 0) {
    *diagnosis = "the SDR repository cannot be read: " + source->problem();
    return nullptr;
  }
  return source;
}

}  // namespace hwlinux::ipmi
