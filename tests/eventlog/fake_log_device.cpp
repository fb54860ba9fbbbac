#include "fake_log_device.h"

#include <cstring>

#include "os/os.h"
#include "agent/platform/driver_channel.h"

namespace vigil::test {

LogRecordBytes MakeRecord(uint8_t type, uint32_t firstWord, uint32_t secondWord,
                          const uint8_t (&bcdTime)[6]) {
  LogRecordBytes r(16, 0);
  r[0] = type;
  r[1] = 16;
  std::memcpy(&r[2], bcdTime, 6);
  for (int i = 0; i < 4; ++i) {
    r[8 + i] = uint8_t(firstWord >> (8 * i));
    r[12 + i] = uint8_t(secondWord >> (8 * i));
  }
  return r;
}

FakeLogDevice::FakeLogDevice() {
  os::RegisterLocalDevice(kDriverPath, &FakeLogDevice::Serve, this);
  gDriverRetryDelayMs = 0;
  OpenDriverChannel();
}

FakeLogDevice::~FakeLogDevice() {
  CloseDriverChannel();
  os::RegisterLocalDevice(kDriverPath, nullptr, nullptr);
}

uint16_t FakeLogDevice::EndPosition() const {
  uint32_t end = 0;
  for (const auto& r : records_) end += uint32_t(r.size());
  return uint16_t(end);
}

bool FakeLogDevice::Serve(void* context, uint32_t code, const void* in, uint32_t inLen, void* out,
                          uint32_t outLen, uint32_t* returned) {
  auto* self = static_cast<FakeLogDevice*>(context);
  if (code == kIoctlDeviceCommand && inLen >= 2) {
    const auto* bytes = static_cast<const uint8_t*>(in);
    if ((bytes[0] | bytes[1] << 8) == kCommandLogAlert) ++self->alertCommands_;
    if (self->failCommands_) return false;
    if (returned) *returned = outLen;
    return true;
  }
  if (code != kIoctlReadEventLog || outLen < sizeof(LogReadRecord)) return false;
  LogReadRecord record;
  std::memset(&record, 0, sizeof record);
  std::memcpy(&record, in, inLen < sizeof record ? inLen : sizeof record);
  if (!self->ServeLogRead(&record)) return false;
  std::memcpy(out, &record, sizeof record);
  if (returned) *returned = sizeof record;
  return true;
}

bool FakeLogDevice::ServeLogRead(LogReadRecord* record) {
  ++logExchanges_;
  requestedPositions_.push_back(record->position);
  if (passBeforeFailure_ > 0) {
    --passBeforeFailure_;
  } else if (failCount_ > 0) {
    --failCount_;
    return false;
  }
  if (!scripted_.empty()) {
    *record = scripted_.front();
    scripted_.pop_front();
    return true;
  }
  // Whole records from the first boundary at or after the requested position.
  uint32_t position = 0;
  std::size_t index = 0;
  while (index < records_.size() && position < record->position) position += records_[index++].size();
  record->firstRecordTime = firstRecordTime_;
  record->position = uint16_t(position);
  uint32_t used = 0;
  while (index < records_.size() && used + records_[index].size() <= kLogDataCapacity) {
    std::memcpy(record->data + used, records_[index].data(), records_[index].size());
    used += uint32_t(records_[index].size());
    ++index;
  }
  if (malformedNext_ != Malformed::kNone && used + 2 <= kLogDataCapacity) {
    record->data[used] = 1;
    // Zero length, or a length that reaches past the data returned.
    record->data[used + 1] = malformedNext_ == Malformed::kZeroLength ? 0 : 16;
    used += 2;
    malformedNext_ = Malformed::kNone;
  }
  record->dataLength = uint8_t(used);
  record->moreRecords = index < records_.size() ? 1 : 0;
  return true;
}

}  // namespace vigil::test
