// Translation of one BMC SEL record into the SMBIOS event log record the agent decodes.
// Which SEL events have a counterpart, and the variable data each counterpart gets, is
// decided here and nowhere else. The length of a translated record depends only on the SEL
// record, never on the handle answers, so positions stay the same from one run to the next.
#pragma once

#include <cstdint>
#include <vector>

#include "live_sources.h"

namespace hwlinux::ipmi {

// Appends the translation of the 16-byte SEL record `sel`, stamped with calendar time
// `timeStamp`, to *out and returns true; returns false and appends nothing when the event has
// no counterpart. `handles` names probes and memory devices. Pure apart from the local-time
// conversion; any thread.
bool TranslateSelRecord(const uint8_t* sel, uint32_t timeStamp, const HandleLookup& handles,
                        std::vector<uint8_t>* out);

// The six BCD time bytes of a record header (YY MM DD hh mm ss) for calendar time `seconds`,
// in local time: the agent reads them as local time, so the event keeps its instant.
void BcdLocalTime(uint32_t seconds, uint8_t* bcd);

}  // namespace hwlinux::ipmi
