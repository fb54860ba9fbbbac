// What a platform offers the agent through \\.\HwGate, whoever provides it. The simulated
// platform (sim/, behind the Linux daemon and the kernel driver) and the Linux provider
// (hwgate-linux) each implement it once; Serve() (serve.h) answers the agent's control codes
// from it, so the answers are laid out by one piece of code.
//
// Freestanding: the kernel driver compiles this with kernel-mode flags (no exceptions, RTTI,
// heap or library calls), so sources are never deleted through this interface.
#pragma once

#include <cstdint>

namespace hwgate {

// The BIOS event log: records back to back from position 0, each with its length in the low
// 7 bits of byte 1. Only the servable prefix is answered (log_answer.h).
struct LogView {
  const uint8_t* records;
  uint32_t length;
  uint32_t identity;  // answered as the first-record time; changes when the log is cleared
};

// One probe (type 26 or 28) or cooling device (type 27) as command 0x51 reports it.
struct SensorView {
  const uint8_t* structure;  // as the table holds it, from its header on
  uint32_t length;           // its length byte: the header and the formatted fields
  uint8_t structureType;
  uint8_t status;  // the whole status byte: SMBIOS status in bits 7-5
  uint16_t raw;
};

class PlatformSource {
 public:
  // The SMBIOS table buffer (kSmbiosTableSize bytes), or null when it cannot be read now.
  virtual const uint8_t* Table() = 0;
  // The event log as it stands; false when none is served. After true the view stays valid
  // and unchanged until LogDone(), which Serve calls once it has answered from it.
  virtual bool Log(LogView* out) = 0;
  virtual void LogDone() {}
  // The probe or cooling device `handle` names; false when the table has none of that handle.
  virtual bool Sensor(uint16_t handle, SensorView* out) = 0;
  // Command 0x54: the agent reports the event log more than 90% full.
  virtual void Alert() = 0;

 protected:
  PlatformSource() = default;
  ~PlatformSource() = default;
  PlatformSource(const PlatformSource&) = default;
  PlatformSource& operator=(const PlatformSource&) = default;
};

}  // namespace hwgate
