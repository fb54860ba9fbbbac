// The BMC's threshold sensors (temperature, voltage, fan) as a live sensor source. The SDR
// repository is read once and kept; listing the sensors asks Get SDR Repository Info and reads
// the repository again only when its add or erase time moved. Reading a sensor is one Get
// Sensor Reading.
//
// Threads: the provider's serving thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ipmi/bmc_transport.h"
#include "ipmi/record_reader.h"
#include "ipmi/repository_info.h"
#include "ipmi/sdr_sensor.h"
#include "live_sources.h"

namespace hwlinux::ipmi {

class SdrSensorSource : public SensorSource {
 public:
  explicit SdrSensorSource(BmcTransport& transport);
  // The source keeps the transport (its own handle to the BMC).
  explicit SdrSensorSource(std::unique_ptr<BmcTransport> owned);

  // -1 when the repository could not be read and nothing is cached; a cached list is
  // served when the BMC does not answer the repository question.
  int ListSensors(std::vector<LiveSensor>* out) override;
  // One Get Sensor Reading. 0 with a reading, or with none when the BMC says the reading is
  // unavailable or scanning is off; -1 (no reading) when the sensor is not one of the listed
  // ones or the BMC gave no usable answer.
  int ReadSensor(const LiveSensor& sensor, LiveReading* out) override;

  const std::string& problem() const { return problem_; }

 private:
  int Reload(const RepositoryInfo& info);
  const SdrSensor* Find(uint32_t key) const;

  std::unique_ptr<BmcTransport> owned_;
  BmcTransport& transport_;
  RecordReader reader_;
  bool cached_ = false;
  RepositoryInfo cachedInfo_;
  std::vector<SdrSensor> sensors_;
  std::string problem_;
};

// Get Sensor Reading for `sensor`, converted. Same results as SdrSensorSource::ReadSensor.
int ReadSdrSensor(BmcTransport& transport, const SdrSensor& sensor, LiveReading* out);

}  // namespace hwlinux::ipmi
