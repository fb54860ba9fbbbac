// The simulated platform: one SMBIOS table, one BIOS event log, the hardware monitor's probes
// and cooling devices, and the faults a test wants to see. It answers the agent's three
// device control codes byte for byte the same in the Linux daemon and in the Windows driver.
//
// Freestanding on purpose: no exceptions, no RTTI, no heap, no library calls, only fixed
// arrays. A Core is large (about 80 KB): keep it static or on the heap, not on a small stack.
// Nothing here locks; the host serialises every call on one Core.
#pragma once

#include <cstddef>
#include <cstdint>

#include "contract/driver_protocol.h"
#include "contract/smbios_types.h"

namespace hwsim {

// Room of the simulated platform: probes and cooling devices of one table, log bytes (log
// positions are 16-bit on the wire), and the length of one log record. A record must fit one
// exchange's data area, or no read could ever deliver it and the log would stall at it; longer
// ones are refused when they are added.
constexpr uint32_t kMaxSensors = 128;
constexpr uint32_t kMaxLogBytes = 0xFFFF;
constexpr uint32_t kMinRecordLength = 2;
constexpr uint32_t kMaxRecordLength = vigil::kLogDataCapacity;

enum class Layout : uint32_t {
  kNone = 0,          // header kind 0: the agent finds no table
  kStandard = 1,      // each formatted area followed by its string-set
  kStringsApart = 2,  // formatted areas back to back, strings in two string tables
};

enum class Malformed : uint8_t { kNone, kZeroLength, kOverrun };

// One probe (type 26 or 28) or cooling device (type 27) of the table and its current reading.
struct SensorSlot {
  uint16_t handle;
  uint8_t structureType;
  uint8_t status;        // SMBIOS status in bits 7-5, as the structure's status byte carries it
  uint16_t raw;
  uint16_t offset;       // of the structure's formatted area in the table buffer
  uint8_t length;        // of the formatted area
};

struct Stats {
  uint32_t sensorReads;       // commands 0x51 answered
  uint32_t alerts;            // commands 0x54 taken
  uint32_t logExchanges;      // log reads answered
  uint32_t smbiosReads;       // table reads answered
  uint32_t injectedFailures;  // calls failed on purpose (fail-next)
  uint32_t rejectedCalls;     // unknown codes, short buffers, unknown handles
};

struct Core {
  uint8_t smbios[vigil::kSmbiosTableSize];
  bool smbiosFails;

  SensorSlot sensors[kMaxSensors];
  uint32_t sensorCount;

  // Records lie back to back from byte 0; every stored record has a valid length byte.
  uint8_t log[kMaxLogBytes];
  uint32_t logLength;
  uint32_t logCapacity;  // from the table's type 15 structure, at most kMaxLogBytes
  uint32_t firstRecordTime;

  uint32_t failNext;
  uint32_t failCode;  // 0: failNext counts down over every code; else over this code only
  Malformed malformed;
  Stats stats;
};

// Empties everything: no table (layout kind 0), no sensors, an empty log of full capacity,
// first-record time 0, no faults, counters 0.
void ResetCore(Core& core);

// Serves one device I/O control call as hwgate::Serve (provider/serve.h) does from this core,
// with the core's faults: a pending fail-next refuses the call, a pending malformed record
// spoils the log answer. Counts what it answers and refuses in the core's stats.
bool Serve(Core& core, uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
           uint32_t* returned);

// Run-time control, as the daemon's ctl channel and the driver's private codes offer it.
// False when `handle` is no probe or cooling device of the table.
bool SetSensor(Core& core, uint16_t handle, uint16_t raw, uint8_t status);
// The next `count` device calls fail: of any code, or only those of `onlyCode` (so a test
// can fail sensor commands without the agent's log polls using up the count).
void FailNext(Core& core, uint32_t count, uint32_t onlyCode = 0);
// The next answered log read carries one bad record.
void SetMalformed(Core& core, Malformed kind);
// Slot of a probe or cooling device, or null.
const SensorSlot* FindSensor(const Core& core, uint16_t handle);

}  // namespace hwsim
