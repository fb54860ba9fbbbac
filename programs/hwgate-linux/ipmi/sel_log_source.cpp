#include "ipmi/sel_log_source.h"

#include <cstring>

#include "contract/le_bytes.h"
#include "ipmi/bmc_exchange.h"
#include "ipmi/sel_translation.h"
#include "ipmi/smbios_log_record.h"

namespace hwlinux::ipmi {

namespace {

// Log positions are 16-bit on the wire: records that would end beyond are not served.
constexpr uint32_t kMaxLogBytes = 0xFFFF;
// Stamp for events logged before the BMC knew the time and before any event that did:
// 1980-01-02 00:00 UTC, a day into the earliest year the record format carries in any zone.
constexpr uint32_t kUnknownTime = 315619200;
// A walk reads at most this many records beyond the count the BMC announced, so a next-id
// chain that loops ends.
constexpr uint32_t kWalkSlack = 16;

uint32_t Fnv1a(uint32_t hash, const uint8_t* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= bytes[i];
    hash *= 16777619u;
  }
  return hash;
}

// The record's time when it is a calendar time: only system event records (02h) and
// timestamped OEM records (C0h-DFh) have one; the rest carry OEM bytes there (the kernel's
// own panic records, F0h, carry panic text). Times at or below the pre-init limit count from
// the BMC's start, and FFFFFFFFh is "unspecified": neither is a date.
bool CalendarTime(const uint8_t* record, uint32_t* stamp) {
  const uint8_t type = record[kSelRecordTypeAt];
  if (type != kSelRecordTypeSystem && (type < kSelFirstOemTimestamped || type > kSelLastOemTimestamped)) {
    return false;
  }
  *stamp = vigil::le::Load32(record + kSelTimeAt);
  return *stamp > kSelPreInitTimeLimit && *stamp != kSelUnspecifiedTime;
}

const char* DescribeRead(RecordRead read) {
  switch (read) {
    case RecordRead::kOk: return "ok";
    case RecordRead::kNotPresent: return "record not present";
    case RecordRead::kReservationLost: return "reservation lost";
    case RecordRead::kFailed: return "no usable answer";
  }
  return "failed";
}

}  // namespace

SelLogSource::SelLogSource(BmcTransport& transport)
    : reader_(transport, kCmdReserveSel, kCmdGetSelEntry) {}

SelLogSource::SelLogSource(std::unique_ptr<BmcTransport> owned)
    : owned_(std::move(owned)), reader_(*owned_, kCmdReserveSel, kCmdGetSelEntry) {}

bool SelLogSource::IsIdle(const RepositoryInfo& info) const {
  return complete_ && info.count == info_.count && info.lastAddTime == info_.lastAddTime &&
         info.lastEraseTime == info_.lastEraseTime;
}

void SelLogSource::Note(const char* what, RecordRead read) {
  problem_ = std::string(what) + ": " + DescribeRead(read);
  if (read == RecordRead::kFailed && reader_.lastCompletionCode() != kCcOk) {
    problem_ += std::string(" (") + DescribeCompletionCode(reader_.lastCompletionCode()) + ")";
  }
}

int SelLogSource::CheckForClear(const RepositoryInfo& info, uint16_t* resumeId) {
  *resumeId = kFirstRecordId;
  if (info.lastEraseTime != info_.lastEraseTime || info.count < walked_) return 1;
  if (!haveFirst_) return 0;  // it was empty: walk from the start
  uint8_t record[kSelRecordSize];
  uint16_t next = kLastRecordId;
  RecordRead read = reader_.ReadWhole(kFirstRecordId, kSelRecordSize, record, &next);
  if (read == RecordRead::kNotPresent) return 1;
  if (read != RecordRead::kOk) {
    Note("Get SEL Entry (first)", read);
    return -1;
  }
  if (std::memcmp(record, first_, kSelRecordSize) != 0) return 1;
  if (vigil::le::Load16(first_) != lastId_) {
    read = reader_.ReadWhole(lastId_, kSelRecordSize, record, &next);
    if (read == RecordRead::kNotPresent) return 1;
    if (read != RecordRead::kOk) {
      Note("Get SEL Entry (last)", read);
      return -1;
    }
    if (std::memcmp(record, last_, kSelRecordSize) != 0) return 1;
  }
  *resumeId = next;
  return 0;
}

void SelLogSource::StartOver() {
  state_.records.clear();
  state_.skipped = 0;
  haveFirst_ = false;
  walked_ = 0;
  lastRealTime_ = 0;
  complete_ = false;
}

void SelLogSource::Walk(uint16_t id, const RepositoryInfo& info, const HandleLookup& handles) {
  uint32_t budget = uint32_t(info.count) + kWalkSlack;
  std::vector<uint8_t> translated;
  while (id != kLastRecordId) {
    if (budget-- == 0) {
      problem_ = "Get SEL Entry: the next-record chain runs past the entry count";
      return;
    }
    uint8_t record[kSelRecordSize];
    uint16_t next = kLastRecordId;
    const RecordRead read = reader_.ReadWhole(id, kSelRecordSize, record, &next);
    if (read == RecordRead::kNotPresent) {
      // An empty SEL, or the chain ends before the announced count: then look again next time.
      complete_ = walked_ >= info.count;
      return;
    }
    if (read != RecordRead::kOk) {
      Note("Get SEL Entry", read);
      return;  // resumed at the next refresh
    }
    if (!haveFirst_) {
      std::memcpy(first_, record, kSelRecordSize);
      haveFirst_ = true;
    }
    std::memcpy(last_, record, kSelRecordSize);
    lastId_ = vigil::le::Load16(record);
    ++walked_;

    uint32_t stamp = 0;
    if (CalendarTime(record, &stamp)) {
      lastRealTime_ = stamp;
    } else {
      stamp = lastRealTime_ != 0 ? lastRealTime_ : kUnknownTime;
    }
    translated.clear();
    if (!TranslateSelRecord(record, stamp, handles, &translated) ||
        state_.records.size() + translated.size() > kMaxLogBytes) {
      ++state_.skipped;
    } else {
      state_.records.insert(state_.records.end(), translated.begin(), translated.end());
    }
    if (next == id) break;  // a record naming itself as next would loop
    id = next;
  }
  complete_ = true;
}

uint32_t SelLogSource::Identity() const {
  uint8_t bytes[4 + 1 + kSelRecordSize + 4] = {};
  vigil::le::Store32(bytes, info_.lastEraseTime);
  bytes[4] = haveFirst_ ? 1 : 0;
  if (haveFirst_) std::memcpy(bytes + 5, first_, kSelRecordSize);
  vigil::le::Store32(bytes + 5 + kSelRecordSize, generation_);
  const uint32_t hash = Fnv1a(2166136261u, bytes, sizeof bytes);
  return hash != 0 ? hash : 1;  // 0 is what an agent that never saw a log holds
}

int SelLogSource::Refresh(const HandleLookup& handles, LogSnapshot* snapshot) {
  RepositoryInfo info;
  uint8_t code = 0;
  if (GetRepositoryInfo(reader_.transport(), kCmdGetSelInfo, &info, &code) != 0) {
    problem_ = std::string("Get SEL Info: ") +
               (code != kCcOk ? DescribeCompletionCode(code) : "no usable answer");
    return -1;
  }
  if (!(haveInfo_ && IsIdle(info))) {
    uint16_t resume = kFirstRecordId;
    const uint32_t before = state_.identity;
    const bool firstWalk = !haveInfo_;
    bool cleared = firstWalk;
    if (!firstWalk) {
      const int check = CheckForClear(info, &resume);
      if (check < 0) return -1;
      cleared = check == 1;
    }
    if (cleared) {
      StartOver();
      resume = kFirstRecordId;
    }
    info_ = info;
    haveInfo_ = true;
    problem_.clear();
    Walk(resume, info, handles);
    state_.identity = Identity();
    if (cleared && !firstWalk && state_.identity == before) {
      ++generation_;
      state_.identity = Identity();
    }
  }
  const uint32_t area = SelCapacity(info) * kSelRecordSize;
  state_.areaLength = area < kMaxLogBytes ? area : kMaxLogBytes;
  if (snapshot->identity != state_.identity || snapshot->records.size() != state_.records.size() ||
      snapshot->areaLength != state_.areaLength || snapshot->skipped != state_.skipped) {
    *snapshot = state_;
  }
  return 0;
}

}  // namespace hwlinux::ipmi
