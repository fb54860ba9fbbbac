// A scripted platform device for the event log tests: a BIOS log of whole records served the
// way a driver answers LogReadRecord requests, with injectable failures and bad records.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "contract/driver_protocol.h"

namespace vigil::test {

using LogRecordBytes = std::vector<uint8_t>;

// A record of `type` logged at the BCD time given, with two words of variable data.
LogRecordBytes MakeRecord(uint8_t type, uint32_t firstWord = 0, uint32_t secondWord = 0,
                          const uint8_t (&bcdTime)[6] = {0x04, 0x03, 0x15, 0x10, 0x20, 0x30});

class FakeLogDevice {
 public:
  enum class Malformed { kNone, kZeroLength, kOverrun };

  // Registers as \\.\HwGate and opens the agent's driver channel on it.
  FakeLogDevice();
  ~FakeLogDevice();
  FakeLogDevice(const FakeLogDevice&) = delete;
  FakeLogDevice& operator=(const FakeLogDevice&) = delete;

  void Append(const LogRecordBytes& record) { records_.push_back(record); }
  void Clear(uint32_t firstRecordTime) {
    records_.clear();
    firstRecordTime_ = firstRecordTime;
  }
  // Total bytes of the log (the position after the last record).
  uint16_t EndPosition() const;

  uint32_t firstRecordTime_ = 0x5EED0001;
  std::vector<LogRecordBytes> records_;
  // Exchanges to let through before failing `failCount` in a row (log reads only).
  int passBeforeFailure_ = 0;
  int failCount_ = 0;
  // The next answer carries a bad record after its good ones.
  Malformed malformedNext_ = Malformed::kNone;
  // Raw responses served in place of the log while any are queued.
  std::deque<LogReadRecord> scripted_;

  bool failCommands_ = false;

  int logExchanges_ = 0;
  int alertCommands_ = 0;
  std::vector<uint16_t> requestedPositions_;

 private:
  static bool Serve(void* context, uint32_t code, const void* in, uint32_t inLen, void* out,
                    uint32_t outLen, uint32_t* returned);
  bool ServeLogRead(LogReadRecord* record);
};

}  // namespace vigil::test
