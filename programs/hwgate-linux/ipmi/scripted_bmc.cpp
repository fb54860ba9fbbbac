#include "ipmi/scripted_bmc.h"

#include <cstring>

#include "contract/le_bytes.h"
#include "ipmi/bmc_exchange.h"
#include "ipmi/ipmi_codes.h"

namespace hwlinux::ipmi {

namespace {

void Put(BmcResponse* response, const uint8_t* bytes, std::size_t length) {
  response->completionCode = kCcOk;
  response->length = length;
  std::memcpy(response->data, bytes, length);
}

void Refuse(BmcResponse* response, uint8_t code) {
  response->completionCode = code;
  response->length = 0;
}

// Get SEL Info and Get SDR Repository Info share their answer.
void PutInfo(uint16_t count, uint16_t freeBytes, uint32_t addTime, uint32_t eraseTime,
             BmcResponse* response) {
  uint8_t answer[kRepositoryInfoSize] = {};
  answer[0] = 0x51;
  vigil::le::Store16(answer + 1, count);
  vigil::le::Store16(answer + 3, freeBytes);
  vigil::le::Store32(answer + 5, addTime);
  vigil::le::Store32(answer + 9, eraseTime);
  answer[13] = 0x02;  // reservations supported
  Put(response, answer, sizeof answer);
}

}  // namespace

void ScriptedBmc::AddSel(SelRecord record, uint32_t now) {
  vigil::le::Store16(record.data(), nextSelId++);
  sel.push_back(record);
  selAddTime = now;
  CancelReservation();
}

void ScriptedBmc::ClearSel(uint32_t eraseTime) {
  sel.clear();
  if (eraseTime != 0) selEraseTime = eraseTime;
  CancelReservation();
}

void ScriptedBmc::AddSdr(std::vector<uint8_t> record, uint32_t now) {
  if (record.size() >= 2) vigil::le::Store16(record.data(), nextSdrId_++);
  sdr.push_back(std::move(record));
  sdrAddTime = now;
  CancelReservation();
}

void ScriptedBmc::Inject(uint8_t cmd, Fault fault, uint8_t value, int times, int skip) {
  for (int i = 0; i < times; ++i) faults_.push_back({cmd, fault, value, i == 0 ? skip : 0});
}

// Get SEL Entry and Get SDR share their request: reservation, record id, offset, count.
void ScriptedBmc::AnswerRecord(const std::vector<const uint8_t*>& records,
                               const std::vector<std::size_t>& sizes, const uint8_t* data,
                               std::size_t length, BmcResponse* response) {
  if (length < 6) return Refuse(response, 0xC7);
  const uint16_t reservation = vigil::le::Load16(data);
  uint16_t id = vigil::le::Load16(data + 2);
  const uint8_t offset = data[4];
  const uint8_t count = data[5];
  std::size_t index = records.size();
  for (std::size_t i = 0; i < records.size(); ++i) {
    const uint16_t recordId = vigil::le::Load16(records[i]);
    if ((id == kFirstRecordId && i == 0) || (id == kLastRecordId && i + 1 == records.size()) ||
        recordId == id) {
      index = i;
      break;
    }
  }
  if (index == records.size()) return Refuse(response, kCcNotPresent);
  const bool partial = offset != 0 || count != kReadWholeRecord;
  if (partial && reservation != reservation_) return Refuse(response, kCcReservationLost);
  const std::size_t size = sizes[index];
  const std::size_t want = count == kReadWholeRecord ? size : count;
  if (offset > size || want > size - offset) return Refuse(response, 0xC9);
  if (2 + want > maxRecordAnswer) return Refuse(response, kCcCannotReturnBytes);
  uint8_t answer[2 + 256];
  vigil::le::Store16(answer, index + 1 < records.size() ? vigil::le::Load16(records[index + 1]) : kLastRecordId);
  std::memcpy(answer + 2, records[index] + offset, want);
  Put(response, answer, 2 + want);
}

void ScriptedBmc::Answer(const BmcRequest& request, BmcResponse* response) {
  uint8_t answer[2] = {};
  if (request.netFn == kNetFnStorage) {
    switch (request.cmd) {
      case kCmdGetSelInfo:
        return PutInfo(uint16_t(sel.size()), selFreeBytes, selAddTime, selEraseTime, response);
      case kCmdGetSdrRepositoryInfo:
        return PutInfo(uint16_t(sdr.size()), 0x800, sdrAddTime, sdrEraseTime, response);
      case kCmdReserveSel:
      case kCmdReserveSdrRepository:
        vigil::le::Store16(answer, ++reservation_);
        return Put(response, answer, 2);
      case kCmdGetSelEntry: {
        std::vector<const uint8_t*> records;
        for (const SelRecord& r : sel) records.push_back(r.data());
        return AnswerRecord(records, std::vector<std::size_t>(sel.size(), kSelRecordSize),
                            request.data, request.length, response);
      }
      case kCmdGetSdr: {
        std::vector<const uint8_t*> records;
        std::vector<std::size_t> sizes;
        for (const auto& r : sdr) {
          records.push_back(r.data());
          sizes.push_back(r.size());
        }
        return AnswerRecord(records, sizes, request.data, request.length, response);
      }
      default:
        return Refuse(response, 0xC1);
    }
  }
  if (request.netFn == kNetFnSensorEvent && request.cmd == kCmdGetSensorReading &&
      request.length >= 1) {
    const auto found = readings.find(request.data[0]);
    if (found == readings.end()) return Refuse(response, kCcNotPresent);
    return Put(response, found->second.data(), found->second.size());
  }
  Refuse(response, 0xC1);
}

int ScriptedBmc::Exchange(const BmcRequest& request, BmcResponse* response) {
  ++exchanges;
  ++perCommand[request.cmd];
  lastTarget = request.target;
  *response = BmcResponse{};
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->cmd != request.cmd) continue;
    if (it->skip > 0) {
      --it->skip;
      break;
    }
    const Injected fault = *it;
    faults_.erase(it);
    if (fault.fault == Fault::kNoAnswer) return -1;
    if (fault.fault == Fault::kCompletion) {
      Refuse(response, fault.value);
      return 0;
    }
    Answer(request, response);
    if (response->length > fault.value) response->length = fault.value;
    return 0;
  }
  Answer(request, response);
  return 0;
}

}  // namespace hwlinux::ipmi
