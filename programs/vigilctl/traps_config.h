// Where and how `vigilctl traps` sends: registry values under the agent's parameter key, so that
// `reg import/export` and `set-param` carry them with the agent's own parameters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vigilctl {

constexpr const char* kTrapDestinationsValue = "TrapDestinations";  // REG_SZ "host:port,..."
constexpr const char* kTrapVersionValue = "TrapVersion";            // REG_SZ "1", "2c" or "3"
constexpr const char* kTrapCommunityValue = "TrapCommunity";        // REG_SZ
constexpr const char* kTrapMinSeverityValue = "TrapMinSeverity";    // REG_SZ severity name
constexpr const char* kTrapRateValue = "TrapRatePerSecond";         // REG_DWORD
constexpr const char* kTrapInformValue = "TrapInform";              // REG_SZ "on" or "off" (v2c)
// SNMPv3 (USM, authPriv with SHA and AES-128). The passphrases are secrets: the follower uses
// them only when the registry database is readable by root alone.
constexpr const char* kTrapV3UserValue = "TrapV3User";              // REG_SZ
constexpr const char* kTrapV3AuthValue = "TrapV3AuthPassphrase";    // REG_SZ, 8 characters or more
constexpr const char* kTrapV3PrivValue = "TrapV3PrivPassphrase";    // REG_SZ, 8 characters or more
constexpr const char* kTrapV3EngineIdValue = "TrapV3EngineId";      // REG_SZ hex; default from the UUID
// With informs the manager is the authoritative engine: its engine ID, given here, is what the
// keys are localised to (no discovery exchange, which net-snmp only does blocking).
constexpr const char* kTrapV3ManagerEngineIdValue = "TrapV3ManagerEngineId";  // REG_SZ hex

constexpr uint16_t kDefaultTrapPort = 162;
constexpr std::size_t kMaxTrapDestinations = 16;
constexpr uint32_t kDefaultTrapRate = 100;
constexpr uint32_t kMaxTrapRate = 100000;

struct TrapDestination {
  std::string host;  // name, IPv4 or IPv6 address (without brackets)
  uint16_t port;
};

enum class TrapVersion { kV1, kV2c, kV3 };

struct TrapConfig {
  std::vector<TrapDestination> destinations;
  TrapVersion version = TrapVersion::kV1;
  std::string community = "public";
  uint8_t minSeverity = 0;          // PET severity; 0 lets every event through
  uint32_t ratePerSecond = kDefaultTrapRate;
  bool inform = false;              // informs (v2c, v3), acknowledged, retried until they are
  std::string v3User;
  std::string v3AuthPassphrase;
  std::string v3PrivPassphrase;
  std::vector<uint8_t> v3EngineId;  // empty: derived from the system UUID
  std::vector<uint8_t> v3ManagerEngineId;  // v3 informs only
};

// "host", "host:port", "[v6addr]:port", separated by commas or blanks. False (with *error) on
// any malformed item, a port outside 1-65535, or more than kMaxTrapDestinations.
bool ParseTrapDestinations(const std::string& text, std::vector<TrapDestination>* out, std::string* error);
bool ParseTrapVersion(const std::string& text, TrapVersion* version);
// An SNMP engine ID as hex ("0x" optional): 5 to 32 bytes.
bool ParseEngineId(const std::string& text, std::vector<uint8_t>* id);
// 1 to kMaxTrapRate, decimal.
bool ParseTrapRate(const std::string& text, uint32_t* rate);

// Reads the values that are present; absent ones keep their defaults. False (with *error) when
// a present value is malformed, or when version 3 lacks its user or a passphrase.
bool ReadTrapConfig(TrapConfig* config, std::string* error);

// set-param for the trap settings ("trap-destinations", "trap-version", "trap-community",
// "trap-min-severity", "trap-rate", "trap-inform", "trap-v3-..."): true when `option` is one of them.
bool IsTrapSetting(const char* option);
// Checks and writes the value straight to the registry (the agent does not read it). Exit code.
int SetTrapSetting(const char* option, const char* value);

}  // namespace vigilctl
