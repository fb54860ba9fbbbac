// A BMC in memory for tests and benchmarks: a System Event Log, an SDR repository and sensor
// readings answered as the IPMI commands the provider sends expect, with reservations that
// every change cancels, an answer size limit (CAh beyond it) and injected faults (a completion
// code, no answer, a cut answer) for the next requests of one command. It counts exchanges.
//
// Threads: one test thread.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "ipmi/bmc_transport.h"

namespace hwlinux::ipmi {

class ScriptedBmc : public BmcTransport {
 public:
  using SelRecord = std::array<uint8_t, 16>;

  int Exchange(const BmcRequest& request, BmcResponse* response) override;

  // SEL. AddSel gives the record the next record id (bytes 0-1) and stamps the add time.
  void AddSel(SelRecord record, uint32_t now);
  // Empties the SEL; `eraseTime` 0 keeps the old erase time, as some BMCs do.
  void ClearSel(uint32_t eraseTime);
  std::vector<SelRecord> sel;
  uint16_t selFreeBytes = 0x1000;
  uint32_t selAddTime = 0;
  uint32_t selEraseTime = 0;
  uint16_t nextSelId = 1;

  // SDR repository. AddSdr gives the record the next record id.
  void AddSdr(std::vector<uint8_t> record, uint32_t now);
  std::vector<std::vector<uint8_t>> sdr;
  uint32_t sdrAddTime = 0;
  uint32_t sdrEraseTime = 0;

  // Get Sensor Reading answers by sensor number (absent: CBh). Each holds the answer bytes.
  std::map<uint8_t, std::vector<uint8_t>> readings;

  // Largest data answer the BMC sends (next id + bytes for record reads); above: CAh.
  std::size_t maxRecordAnswer = 64;

  enum class Fault { kCompletion, kNoAnswer, kCut };
  // After `skip` more requests of `cmd` answered as usual, the next `times` meet `fault` (a
  // completion code, or the length the answer is cut to).
  void Inject(uint8_t cmd, Fault fault, uint8_t value, int times = 1, int skip = 0);
  // Cancels the reservation now, as a change by another party would.
  void CancelReservation() { ++reservation_; }

  void Pause(int milliseconds) override { pausedMs += uint32_t(milliseconds); }

  uint32_t exchanges = 0;
  uint32_t pausedMs = 0;
  std::map<uint8_t, uint32_t> perCommand;
  BmcTarget lastTarget;

 private:
  struct Injected {
    uint8_t cmd;
    Fault fault;
    uint8_t value;
    int skip;
  };
  void AnswerRecord(const std::vector<const uint8_t*>& records, const std::vector<std::size_t>& sizes,
                    const uint8_t* data, std::size_t length, BmcResponse* response);
  void Answer(const BmcRequest& request, BmcResponse* response);

  std::deque<Injected> faults_;
  uint16_t reservation_ = 1;
  uint16_t nextSdrId_ = 1;
};

}  // namespace hwlinux::ipmi
