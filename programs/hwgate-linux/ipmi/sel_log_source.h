// The BIOS event log served from the BMC's System Event Log: each SEL event with an SMBIOS
// counterpart becomes one type-15 log record (sel_translation.h), back to back in SEL order.
//
// Positions: a record's position is the sum of the lengths of the translated records before
// it, so a restarted provider, walking the same SEL, puts every record where it was.
// Identity: derived from the last-erase time and the first SEL record, so it survives a
// restart and changes with every clear, also on BMCs that keep the erase time on Clear SEL
// (a shrinking entry count or a vanished last record then counts as a clear as well).
// Cost: a poll with no change is one Get SEL Info; a change reads the first and the last
// known record again (to tell growth from a clear) and then each new record once.
//
// Threads: the provider's serving thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ipmi/bmc_transport.h"
#include "ipmi/ipmi_codes.h"
#include "ipmi/record_reader.h"
#include "ipmi/repository_info.h"
#include "live_sources.h"

namespace hwlinux::ipmi {

class SelLogSource : public LogSource {
 public:
  explicit SelLogSource(BmcTransport& transport);
  // The source keeps the transport (its own handle to the BMC).
  explicit SelLogSource(std::unique_ptr<BmcTransport> owned);

  const char* Name() const override { return "ipmi"; }
  // Returns -1 (snapshot unchanged) when Get SEL Info or the check for a clear got no usable
  // answer. A walk that stops half-way publishes what it read and resumes at the next call.
  int Refresh(const HandleLookup& handles, LogSnapshot* snapshot) override;

  // SEL entries read so far, and the last problem met ("" when the last refresh was clean).
  uint32_t walkedEntries() const { return walked_; }
  const std::string& problem() const { return problem_; }

 private:
  bool IsIdle(const RepositoryInfo& info) const;
  // Returns 1 when the SEL was cleared since the last walk, 0 when it only grew, -1 when the
  // BMC could not tell us. *resumeId gets the id to walk on from.
  int CheckForClear(const RepositoryInfo& info, uint16_t* resumeId);
  void StartOver();
  void Walk(uint16_t id, const RepositoryInfo& info, const HandleLookup& handles);
  void Note(const char* what, RecordRead read);
  uint32_t Identity() const;

  std::unique_ptr<BmcTransport> owned_;
  RecordReader reader_;
  LogSnapshot state_;
  RepositoryInfo info_;
  bool haveInfo_ = false;
  bool complete_ = false;     // the last walk reached the end of the SEL
  bool haveFirst_ = false;
  uint8_t first_[kSelRecordSize] = {};
  uint16_t lastId_ = 0;
  uint8_t last_[kSelRecordSize] = {};
  uint32_t walked_ = 0;       // SEL entries read since the last clear
  uint32_t lastRealTime_ = 0; // stamp for events logged before the BMC knew the time
  uint32_t generation_ = 0;   // bumped by a clear that left erase time and first record alone
  std::string problem_;
};

}  // namespace hwlinux::ipmi
