#include "os/posix/journal_sink.h"

#include <sys/uio.h>
#include <systemd/sd-journal.h>

namespace os::posix {
namespace {

bool SendWithLibsystemd(const std::vector<JournalField>& fields) {
  std::vector<std::string> items;
  items.reserve(fields.size());
  for (const JournalField& f : fields) items.push_back(f.name + "=" + f.value);
  std::vector<iovec> vectors;
  vectors.reserve(items.size());
  for (std::string& item : items) vectors.push_back({item.data(), item.size()});
  // Values may hold line feeds: the native protocol carries them (unlike syslog).
  return sd_journal_sendv(vectors.data(), int(vectors.size())) >= 0;
}

JournalSender gSender = SendWithLibsystemd;

}  // namespace

bool SendToJournal(const std::vector<JournalField>& fields) { return gSender(fields); }

void SetJournalSender(JournalSender sender) { gSender = sender != nullptr ? sender : SendWithLibsystemd; }

}  // namespace os::posix
