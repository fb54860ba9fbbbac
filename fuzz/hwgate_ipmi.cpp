// libFuzzer: arbitrary BMC answers through the SEL log source and the SDR sensor source.
// Input: one chunk per exchange: a control byte (low bit: no answer), the completion code,
// the data length, then that many data bytes (fewer when the input ends). Once the input is
// used up every exchange goes unanswered. Each run refreshes the log three times (first walk,
// growth or clear, idle), lists the sensors and reads each one.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ipmi/bmc_transport.h"
#include "ipmi/sdr_sensor_source.h"
#include "ipmi/sel_log_source.h"

namespace {

using namespace hwlinux;

class FedTransport : public ipmi::BmcTransport {
 public:
  FedTransport(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  int Exchange(const ipmi::BmcRequest&, ipmi::BmcResponse* response) override {
    if (next_ + 3 > size_) return -1;
    const uint8_t control = data_[next_];
    response->completionCode = data_[next_ + 1];
    std::size_t length = data_[next_ + 2];
    next_ += 3;
    if (length > size_ - next_) length = size_ - next_;
    response->length = length;
    std::memcpy(response->data, data_ + next_, length);
    next_ += length;
    return control & 1 ? -1 : 0;
  }
  // A busy answer is asked again at once: the input decides the next answer anyway.
  void Pause(int) override {}

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};

struct Handles : HandleLookup {
  int ProbeHandle(const std::string&, uint32_t key) const override {
    return key & 1 ? -1 : int(key & 0xFFFF);
  }
  int MemoryDeviceHandle(uint32_t index) const override { return index < 8 ? int(0x1100 + index) : -1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FedTransport transport(data, size);
  Handles handles;
  ipmi::SelLogSource log(transport);
  LogSnapshot snapshot;
  for (int i = 0; i < 3; ++i) {
    log.Refresh(handles, &snapshot);
    // Every served record carries its length; together they tile the log exactly.
    std::size_t at = 0;
    while (at < snapshot.records.size()) {
      const std::size_t length = snapshot.records[at + 1] & 0x7F;
      if (length < 8 || at + length > snapshot.records.size()) __builtin_trap();
      at += length;
    }
    if (snapshot.records.size() > 0xFFFF || snapshot.areaLength > 0xFFFF) __builtin_trap();
  }
  ipmi::SdrSensorSource sensors(transport);
  std::vector<LiveSensor> list;
  sensors.ListSensors(&list);
  for (const LiveSensor& sensor : list) {
    LiveReading reading;
    sensors.ReadSensor(sensor, &reading);
  }
  return 0;
}
