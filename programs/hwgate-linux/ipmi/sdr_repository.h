// The BMC's Sensor Data Record repository: all its records, each read whole in one request
// where the BMC can send it; otherwise as a 5-byte header and then its body in pieces as
// large as the BMC takes, under a reservation (a record read again from its header when the
// reservation is lost).
//
// Threads: the provider's serving thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ipmi/bmc_transport.h"
#include "ipmi/record_reader.h"

namespace hwlinux::ipmi {

// Reads every record (header included) into *records, in repository order. At most
// `maxRecords` plus a few are read, so a looping next-id chain ends. Records too long to
// address with one-byte offsets are left out. Returns 0, or -1 with *problem set when a
// record could not be read (*records then holds those read before it).
int ReadSdrRepository(RecordReader& reader, uint32_t maxRecords,
                      std::vector<std::vector<uint8_t>>* records, std::string* problem);

}  // namespace hwlinux::ipmi
