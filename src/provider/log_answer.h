// The answer to one LogReadRecord exchange, the same for every platform provider.
#pragma once

#include <cstdint>

namespace hwgate {

// Length of the prefix of `records` (`length` bytes) that may be served: whole records (length
// byte at least 2, none running past the end, none longer than one exchange can carry, which
// would stall every reader at it) within the 16-bit positions of the wire.
uint32_t ServableLogLength(const uint8_t* records, uint32_t length);

// Answers the LogReadRecord request in `record` (76 bytes) in place from the log held in
// `log` (`logLength` bytes, records back to back from position 0; only its servable prefix is
// used): the whole records from the first record boundary at or after the requested position
// that fit in the requested room (at most 68 bytes), and `identity` as the first-record time.
void AnswerLogReadFrom(const uint8_t* log, uint32_t logLength, uint32_t identity, uint8_t* record);

}  // namespace hwgate
