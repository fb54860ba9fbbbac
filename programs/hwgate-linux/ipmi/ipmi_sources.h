// The BMC's sources as the provider opens them at start: each keeps its own handle to the
// device, and each is handed out only when the BMC answers the first question it depends on,
// so `--event-log auto` falls back and --probe says why in one line.
//
// Threads: called once, on the main thread, before serving.
#pragma once

#include <memory>
#include <string>

#include "live_sources.h"

namespace hwlinux::ipmi {

// The SEL as the BIOS event log. Null with *diagnosis when the device cannot be opened or
// the BMC refuses Get SEL Info; a BMC that only says it is busy (IsTemporary) still gives the
// source, with a *diagnosis saying so, and the provider asks it again at each poll.
std::unique_ptr<LogSource> OpenSelLogSource(const std::string& device, std::string* diagnosis);

// The SDR repository's threshold sensors. Null with *diagnosis when the device cannot be
// opened or the repository cannot be read.
std::unique_ptr<SensorSource> OpenSdrSensorSource(const std::string& device, std::string* diagnosis);

}  // namespace hwlinux::ipmi
