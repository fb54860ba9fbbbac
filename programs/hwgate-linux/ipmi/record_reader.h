// Reads records of the two BMC repositories that share one request layout: the System Event
// Log (Reserve SEL / Get SEL Entry) and the SDR repository (Reserve SDR Repository / Get
// SDR). Request: reservation id, record id, offset, byte count; answer: next record id, bytes.
// Partial reads need a reservation, which the BMC cancels whenever the repository changes
// (C5h); a BMC that cannot send as many bytes as asked (CAh) is asked for smaller pieces.
//
// Threads: one reader per repository, used by the provider's serving thread only.
#pragma once

#include <cstdint>

#include "ipmi/bmc_transport.h"

namespace hwlinux::ipmi {

enum class RecordRead {
  kOk,
  kNotPresent,        // CBh: no such record (the repository shrank or was cleared)
  kReservationLost,   // C5h even after taking a new reservation
  kFailed,            // no answer, timeout (C3h), another completion code, a short answer
};

class RecordReader {
 public:
  RecordReader(BmcTransport& transport, uint8_t reserveCmd, uint8_t getCmd)
      : transport_(transport), reserveCmd_(reserveCmd), getCmd_(getCmd) {}

  // Reads bytes [offset, offset + count) of record `id` in pieces no larger than the BMC
  // takes, with a reservation (taken on first use, renewed once when lost). *nextId gets
  // the id of the record that follows. count 0 reads nothing and succeeds.
  RecordRead ReadPart(uint16_t id, uint32_t offset, uint32_t count, uint8_t* out,
                      uint16_t* nextId);
  // Reads the whole record of `size` bytes in one request that needs no reservation; falls
  // back to ReadPart when the BMC cannot send it at once.
  RecordRead ReadWhole(uint16_t id, uint32_t size, uint8_t* out, uint16_t* nextId);
  // Reads record `id` whole in one request (no reservation) when the caller does not know its
  // size: *size gets the bytes the BMC sent, at most `capacity`. kFailed with
  // lastCompletionCode() CAh when the BMC cannot send the record at once.
  RecordRead ReadEntire(uint16_t id, uint32_t capacity, uint8_t* out, uint32_t* size, uint16_t* nextId);
  // Forgets the reservation (the next partial read takes a new one).
  void DropReservation() { reservation_ = 0; reserved_ = false; }

  uint8_t lastCompletionCode() const { return lastCompletionCode_; }
  BmcTransport& transport() { return transport_; }

 private:
  RecordRead Reserve();
  // One Get request; `countByte` is what is asked for (FFh: the whole record), `want` the
  // bytes expected back, all copied to `out`. With a `capacity`, as many bytes as came back
  // (at least `want`) are copied, at most `capacity`, and *got says how many.
  RecordRead ReadPiece(uint16_t id, uint8_t offset, uint8_t countByte, uint32_t want,
                       uint16_t reservation, uint8_t* out, uint16_t* nextId,
                       uint32_t capacity = 0, uint32_t* got = nullptr);

  BmcTransport& transport_;
  uint8_t reserveCmd_;
  uint8_t getCmd_;
  uint16_t reservation_ = 0;
  bool reserved_ = false;
  // Largest piece the BMC is asked for: everything a one-byte count can ask for at first,
  // halved on each CAh, and then it stays small.
  uint32_t pieceSize_ = 0xFE;
  uint8_t lastCompletionCode_ = 0;
};

}  // namespace hwlinux::ipmi
