// Registry locations of the agent (all under HKEY_LOCAL_MACHINE).
#pragma once

namespace vigil {

// Every agent key lies under this base path; subkeys are appended without a separator.
constexpr const char* kParametersBasePath = "SOFTWARE\\NVXAgents\\VigilAgent\\Parameters\\";
constexpr const char* kAgentParameterSubkey = "RegAgent Parameter";
constexpr const char* kEventLogParameterSubkey = "RegEventLog Parameter";
constexpr const char* kEventStringTableName = "Event String Table\\";
constexpr const char* kEventPetTableName = "Event PET Table\\";
// The event descriptions for server models the agent does not know, under both table names. Its
// string table key being there is what switches them on.
constexpr const char* kGenericEventTableName = "Generic";
constexpr const char* kEventSourceKey = "System\\CurrentControlSet\\Services\\EventLog\\Application\\Vigil Agent";

constexpr const char* kCpuOverTempShutdownValue = "CPUOverTempShoutdown";
constexpr const char* kClearEventLogEnabledValue = "ClearEventLog_Enabled";
constexpr const char* kLogOffsetValue = "offset";
constexpr const char* kLogFirstTimeValue = "first_log_time";

// Fixed buffer size for registry paths, value names and value data.
constexpr unsigned kRegBufferSize = 260;

}  // namespace vigil
