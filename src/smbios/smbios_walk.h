// The walk over the structures of the SMBIOS table buffer, shared by the agent's parser and by
// clients that look up one structure (vigilctl reads the product name). Bounded like every
// reader of the buffer: it never reads outside it and never loops on a bad length.
#pragma once

#include <cstdint>

#include "smbios/smbios_strings.h"
#include "smbios/smbios_table_view.h"

namespace vigil::smbios {

// Called for every structure in table order with its string-set (empty in layout kind 2).
using StructureVisitor = void (*)(const TableView& table, const Structure& s, const StringSet& set,
                                  void* context);

// Walks the 8192-byte buffer. Returns false, visiting nothing, when the header says the buffer
// holds no table (layout kind 0). Any thread; no OS calls.
bool WalkSmbiosTable(const uint8_t* buffer, StructureVisitor visit, void* context);

}  // namespace vigil::smbios
