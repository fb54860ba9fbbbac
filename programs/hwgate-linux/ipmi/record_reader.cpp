#include "ipmi/record_reader.h"

#include <cstring>

#include "contract/le_bytes.h"
#include "ipmi/bmc_exchange.h"
#include "ipmi/ipmi_codes.h"

namespace hwlinux::ipmi {

namespace {

constexpr std::size_t kReservationSize = 2;

RecordRead FromCompletion(uint8_t code) {
  if (code == kCcNotPresent) return RecordRead::kNotPresent;
  if (code == kCcReservationLost) return RecordRead::kReservationLost;
  return RecordRead::kFailed;
}

}  // namespace

RecordRead RecordReader::Reserve() {
  BmcRequest request;
  request.netFn = kNetFnStorage;
  request.cmd = reserveCmd_;
  BmcResponse response;
  const AskResult result = Ask(transport_, request, kReservationSize, &response);
  lastCompletionCode_ = response.completionCode;
  if (result != AskResult::kOk) return RecordRead::kFailed;
  reservation_ = vigil::le::Load16(response.data);
  reserved_ = true;
  return RecordRead::kOk;
}

RecordRead RecordReader::ReadPiece(uint16_t id, uint8_t offset, uint8_t countByte,
                                   uint32_t want, uint16_t reservation, uint8_t* out,
                                   uint16_t* nextId, uint32_t capacity, uint32_t* got) {
  uint8_t data[6];
  vigil::le::Store16(data, reservation);
  vigil::le::Store16(data + 2, id);
  data[4] = offset;
  data[5] = countByte;
  BmcRequest request;
  request.netFn = kNetFnStorage;
  request.cmd = getCmd_;
  request.data = data;
  request.length = sizeof data;
  BmcResponse response;
  const AskResult result = Ask(transport_, request, kSelNextIdSize + want, &response);
  lastCompletionCode_ = response.completionCode;
  if (result == AskResult::kRefused) return FromCompletion(response.completionCode);
  if (result != AskResult::kOk) return RecordRead::kFailed;
  *nextId = vigil::le::Load16(response.data);
  const std::size_t sent = response.length - kSelNextIdSize;
  const uint32_t copied = uint32_t(sent < capacity ? sent : capacity);
  std::memcpy(out, response.data + kSelNextIdSize, capacity == 0 ? want : copied);
  if (got != nullptr) *got = copied;
  return RecordRead::kOk;
}

RecordRead RecordReader::ReadPart(uint16_t id, uint32_t offset, uint32_t count, uint8_t* out,
                                  uint16_t* nextId) {
  if (offset + count > 0xFF + 1u) return RecordRead::kFailed;  // offsets are one byte
  bool renewed = false;
  uint32_t done = 0;
  while (done < count) {
    if (!reserved_) {
      const RecordRead reserved = Reserve();
      if (reserved != RecordRead::kOk) return reserved;
    }
    uint32_t piece = count - done < pieceSize_ ? count - done : pieceSize_;
    const RecordRead read = ReadPiece(id, uint8_t(offset + done), uint8_t(piece), piece,
                                      reservation_, out + done, nextId);
    if (read == RecordRead::kOk) {
      done += piece;
      continue;
    }
    if (read == RecordRead::kReservationLost && !renewed) {
      // The repository changed under us: the bytes read so far may be stale, so the whole
      // part is read again under a new reservation.
      renewed = true;
      DropReservation();
      done = 0;
      continue;
    }
    if (read == RecordRead::kFailed && lastCompletionCode_ == kCcCannotReturnBytes &&
        pieceSize_ > 1) {
      pieceSize_ /= 2;
      continue;
    }
    if (read == RecordRead::kReservationLost) DropReservation();
    return read;
  }
  return RecordRead::kOk;
}

RecordRead RecordReader::ReadEntire(uint16_t id, uint32_t capacity, uint8_t* out, uint32_t* size,
                                      uint16_t* nextId) {
  return ReadPiece(id, 0, kReadWholeRecord, 0, 0, out, nextId, capacity, size);
}

RecordRead RecordReader::ReadWhole(uint16_t id, uint32_t size, uint8_t* out, uint16_t* nextId) {
  const RecordRead read = ReadPiece(id, 0, kReadWholeRecord, size, 0, out, nextId);
  if (read == RecordRead::kFailed && lastCompletionCode_ == kCcCannotReturnBytes) {
    return ReadPart(id, 0, size, out, nextId);
  }
  return read;
}

}  // namespace hwlinux::ipmi
