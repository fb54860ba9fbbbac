// The systemd journal: one entry per report with structured fields.
#pragma once

#include <string>
#include <vector>

namespace os::posix {

struct JournalField {
  std::string name;
  std::string value;
};

// Sends one entry (MESSAGE, PRIORITY, ... as given). False when no journal takes it: none
// running, socket refused or full. Any thread.
bool SendToJournal(const std::vector<JournalField>& fields);

// Gives the journal client's code and constant pages back to the page cache, as unloading it
// would, while it stays loaded with its connection: a batch of reports needs them, the time
// between batches does not. Any thread; nothing when the client was never loaded.
void ReleaseJournalClientPages();

// Test seam: what SendToJournal hands its fields to; null restores the journal itself. Set
// before reports start, not while another thread reports.
using JournalSender = bool (*)(const std::vector<JournalField>& fields);
void SetJournalSender(JournalSender sender);

}  // namespace os::posix
