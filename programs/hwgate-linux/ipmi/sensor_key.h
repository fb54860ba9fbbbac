// How the provider names an IPMI sensor in LiveSensor::key, in probe lookups and in SEL
// events: the owner byte (IPMB address or software id, as SDRs and SEL generator ids carry
// it), the owner's LUN and the sensor number. Both sides build it here so they always agree.
#pragma once

#include <cstdint>

namespace hwlinux::ipmi {

inline constexpr char kIpmiOrigin[] = "ipmi";

constexpr uint32_t SensorKey(uint8_t owner, uint8_t lunByte, uint8_t number) {
  return uint32_t(owner) << 16 | uint32_t(lunByte & 0x03) << 8 | number;
}

}  // namespace hwlinux::ipmi
