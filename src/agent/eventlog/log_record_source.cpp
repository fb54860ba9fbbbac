#include "agent/eventlog/log_record_source.h"

#include "agent/eventlog/test_log.h"
#include "agent/platform/driver_channel.h"

namespace vigil {

namespace {

int ReadTestLogLine(LogReadRecord* record) { return gTestLog.ReadRecord(record) ? 0 : -1; }

}  // namespace

LogRecordSource DriverLogRecords() { return {ExchangeLogRecords, false}; }

LogRecordSource TestLogRecords() { return {ReadTestLogLine, true}; }

}  // namespace vigil
