#include "sources.h"

#include <sys/stat.h>

#include "dmi_event_log.h"
#include "hwmon_sensors.h"
#include "ipmi/ipmi_sources.h"

namespace hwlinux {

std::unique_ptr<LogSource> OpenIpmiLog(const std::string& device, std::string* diagnosis) {
  return ipmi::OpenSelLogSource(device, diagnosis);
}

std::unique_ptr<SensorSource> OpenIpmiSensors(const std::string& device, std::string* diagnosis) {
  return ipmi::OpenSdrSensorSource(device, diagnosis);
}

void OpenSources(const Options& options, FileReader& files, const std::vector<ChannelScale>& scales,
                 Sources* out, std::vector<std::string>* diagnoses) {
  std::string diagnosis;
  auto firmware = std::make_unique<FirmwareTable>();
  int tableResult = ReadFirmwareTable(files, options.sysfsRoot, firmware.get(), &diagnosis);
  if (!diagnosis.empty()) diagnoses->push_back("SMBIOS table: " + diagnosis);
  if (tableResult == 0) out->firmware = std::move(firmware);

  std::string ipmiDevice = options.devRoot + "/ipmi0";
  struct stat st;
  bool haveBmc = stat(ipmiDevice.c_str(), &st) == 0;
  if (!haveBmc) {
    diagnoses->push_back(ipmiDevice + " absent: no BMC, or its driver is not loaded (modprobe ipmi_si ipmi_devintf)");
  }

  bool tryAll = options.eventLog == LogChoice::kAuto;
  if (tryAll || options.eventLog == LogChoice::kSmbios) {
    diagnosis.clear();
    out->log = DmiEventLog::Open(files, options.sysfsRoot, &diagnosis);
    if (!out->log) diagnoses->push_back("event log smbios: " + diagnosis);
  }
  if (!out->log && haveBmc && (tryAll || options.eventLog == LogChoice::kIpmi)) {
    diagnosis.clear();
    out->log = OpenIpmiLog(ipmiDevice, &diagnosis);
    if (!diagnosis.empty()) diagnoses->push_back("event log ipmi: " + diagnosis);
  }
  if (!out->log && options.eventLog != LogChoice::kNone) diagnoses->push_back("event log: none served");

  if (haveBmc) {
    diagnosis.clear();
    if (auto ipmi = OpenIpmiSensors(ipmiDevice, &diagnosis)) {
      out->sensors.push_back(std::move(ipmi));
    } else {
      diagnoses->push_back("sensors ipmi: " + diagnosis);
    }
  }
  out->sensors.push_back(std::make_unique<HwmonSensors>(files, options.sysfsRoot, scales));
}

}  // namespace hwlinux
