#include "traps_config.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "contract/registry_paths.h"
#include "os/os.h"
#include "pet_trap.h"
#include "reg_file.h"
#include "reg_registry.h"

namespace vigilctl {
namespace {

std::string AgentKeyPath() { return std::string(vigil::kParametersBasePath) + vigil::kAgentParameterSubkey; }

// A decimal number from `low` to `high`, digits only.
bool ParseDecimal(const std::string& text, uint32_t low, uint32_t high, uint32_t* out) {
  if (text.empty() || text.size() > 6) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + uint32_t(c - '0');
  }
  if (value < low || value > high) return false;
  *out = value;
  return true;
}

bool ParsePort(const std::string& text, uint16_t* port) {
  uint32_t value = 0;
  if (!ParseDecimal(text, 1, 65535, &value)) return false;
  *port = uint16_t(value);
  return true;
}

bool IsHostChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_'; }

bool ParseOneDestination(const std::string& item, TrapDestination* d) {
  std::string host;
  std::string port;
  if (!item.empty() && item[0] == '[') {
    const std::size_t close = item.find(']');
    if (close == std::string::npos || close == 1) return false;
    host = item.substr(1, close - 1);
    for (char c : host) {
      if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    }
    if (close + 1 < item.size()) {
      if (item[close + 1] != ':') return false;
      port = item.substr(close + 2);
      if (port.empty()) return false;
    }
  } else {
    const std::size_t colon = item.find(':');
    host = item.substr(0, colon);
    if (colon != std::string::npos) {
      port = item.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (host.empty() || host.size() > 253) return false;
    for (char c : host) {
      if (!IsHostChar(c)) return false;
    }
  }
  d->host = host;
  d->port = kDefaultTrapPort;
  return port.empty() || ParsePort(port, &d->port);
}

bool ReadString(os::RegHandle key, const char* name, std::string* out, bool* present) {
  char buffer[vigil::kRegBufferSize] = {};
  uint32_t type = 0;
  uint32_t size = sizeof buffer - 1;
  const long rc = os::RegQueryValue(key, name, &type, buffer, &size);
  *present = rc == os::kErrorSuccess;
  if (rc == os::kErrorFileNotFound) return true;
  if (rc != os::kErrorSuccess || (type != os::kRegSz && type != os::kRegExpandSz)) return false;
  out->assign(buffer, strnlen(buffer, size));
  return true;
}

struct Setting {
  const char* option;
  const char* value;
  bool (*check)(const std::string& text);
};

bool CheckDestinations(const std::string& text) {
  std::vector<TrapDestination> d;
  std::string error;
  return ParseTrapDestinations(text, &d, &error);
}
bool CheckVersion(const std::string& text) {
  TrapVersion v;
  return ParseTrapVersion(text, &v);
}
bool CheckName(const std::string& text) { return !text.empty() && text.size() < vigil::kRegBufferSize; }
bool CheckSeverity(const std::string& text) {
  uint8_t s;
  return ParsePetSeverity(text, &s);
}
bool CheckOnOff(const std::string& text) { return text == "on" || text == "off"; }
bool CheckPassphrase(const std::string& text) { return text.size() >= 8 && text.size() < vigil::kRegBufferSize; }
bool CheckEngineId(const std::string& text) {
  std::vector<uint8_t> id;
  return ParseEngineId(text, &id);
}
bool CheckRate(const std::string& text) {
  uint32_t r;
  return ParseTrapRate(text, &r);
}

const Setting kSettings[] = {
    {"trap-destinations", kTrapDestinationsValue, CheckDestinations},
    {"trap-version", kTrapVersionValue, CheckVersion},
    {"trap-community", kTrapCommunityValue, CheckName},
    {"trap-min-severity", kTrapMinSeverityValue, CheckSeverity},
    {"trap-rate", kTrapRateValue, CheckRate},
    {"trap-inform", kTrapInformValue, CheckOnOff},
    {"trap-v3-user", kTrapV3UserValue, CheckName},
    {"trap-v3-auth-passphrase", kTrapV3AuthValue, CheckPassphrase},
    {"trap-v3-priv-passphrase", kTrapV3PrivValue, CheckPassphrase},
    {"trap-v3-engine-id", kTrapV3EngineIdValue, CheckEngineId},
    {"trap-v3-manager-engine-id", kTrapV3ManagerEngineIdValue, CheckEngineId},
};

}  // namespace

bool ParseTrapDestinations(const std::string& text, std::vector<TrapDestination>* out, std::string* error) {
  out->clear();
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find_first_of(", \t", at);
    const std::string item = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    if (item.empty()) continue;
    TrapDestination d;
    if (!ParseOneDestination(item, &d)) {
      *error = "malformed trap destination \"" + item + "\" (host, host:port or [address]:port)";
      return false;
    }
    if (out->size() == kMaxTrapDestinations) {
      *error = "more than " + std::to_string(kMaxTrapDestinations) + " trap destinations";
      return false;
    }
    out->push_back(d);
  }
  return true;
}

bool ParseTrapVersion(const std::string& text, TrapVersion* version) {
  if (text == "1") {
    *version = TrapVersion::kV1;
  } else if (text == "2c") {
    *version = TrapVersion::kV2c;
  } else if (text == "3") {
    *version = TrapVersion::kV3;
  } else {
    return false;
  }
  return true;
}

bool ParseEngineId(const std::string& text, std::vector<uint8_t>* id) {
  std::string hex = text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0 ? text.substr(2) : text;
  if (hex.size() % 2 != 0 || hex.size() < 10 || hex.size() > 64) return false;
  id->clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1]))) {
      return false;
    }
    id->push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return true;
}

bool ParseTrapRate(const std::string& text, uint32_t* rate) { return ParseDecimal(text, 1, kMaxTrapRate, rate); }

bool ReadTrapConfig(TrapConfig* config, std::string* error) {
  os::RegHandle key = nullptr;
  const long rc = os::RegOpenKey(AgentKeyPath().c_str(), os::kKeyRead, &key);
  if (rc == os::kErrorFileNotFound) return true;
  if (rc != os::kErrorSuccess) {
    *error = "cannot open the agent's parameter key (error " + std::to_string(rc) + ")";
    return false;
  }
  bool ok = true;
  bool present = false;
  std::string text;
  auto fail = [&](const char* name) {
    *error = std::string("registry value ") + name + " is malformed or unreadable";
    ok = false;
  };
  if (!ReadString(key, kTrapDestinationsValue, &text, &present)) fail(kTrapDestinationsValue);
  if (ok && present && !ParseTrapDestinations(text, &config->destinations, error)) ok = false;
  if (ok && (!ReadString(key, kTrapVersionValue, &text, &present) ||
             (present && !ParseTrapVersion(text, &config->version)))) {
    fail(kTrapVersionValue);
  }
  if (ok && !ReadString(key, kTrapCommunityValue, &text, &present)) fail(kTrapCommunityValue);
  if (ok && present) config->community = text;
  if (ok && (!ReadString(key, kTrapMinSeverityValue, &text, &present) ||
             (present && !ParsePetSeverity(text, &config->minSeverity)))) {
    fail(kTrapMinSeverityValue);
  }
  struct {
    const char* name;
    std::string* into;
  } v3[] = {{kTrapV3UserValue, &config->v3User}, {kTrapV3AuthValue, &config->v3AuthPassphrase},
            {kTrapV3PrivValue, &config->v3PrivPassphrase}};
  for (auto& v : v3) {
    if (ok && !ReadString(key, v.name, v.into, &present)) fail(v.name);
  }
  if (ok && (!ReadString(key, kTrapV3EngineIdValue, &text, &present) ||
             (present && !ParseEngineId(text, &config->v3EngineId)))) {
    fail(kTrapV3EngineIdValue);
  }
  if (ok && (!ReadString(key, kTrapV3ManagerEngineIdValue, &text, &present) ||
             (present && !ParseEngineId(text, &config->v3ManagerEngineId)))) {
    fail(kTrapV3ManagerEngineIdValue);
  }
  if (ok && (!ReadString(key, kTrapInformValue, &text, &present) || (present && !CheckOnOff(text)))) {
    fail(kTrapInformValue);
  }
  if (ok && present) config->inform = text == "on";
  if (ok && config->inform && config->version == TrapVersion::kV1) {
    *error = "informs are offered with versions 2c and 3";
    ok = false;
  }
  if (ok && config->inform && config->version == TrapVersion::kV3 && config->v3ManagerEngineId.empty()) {
    *error = "SNMPv3 informs need the manager's engine ID (vigilctl set-param trap-v3-manager-engine-id HEX)";
    ok = false;
  }
  if (ok && config->version == TrapVersion::kV3 &&
      (config->v3User.empty() || !CheckPassphrase(config->v3AuthPassphrase) ||
       !CheckPassphrase(config->v3PrivPassphrase))) {
    *error = "version 3 needs a user and both passphrases (8 characters or more)";
    ok = false;
  }
  if (ok) {
    uint32_t type = 0;
    uint32_t rate = 0;
    uint32_t size = sizeof rate;
    const long q = os::RegQueryValue(key, kTrapRateValue, &type, &rate, &size);
    if (q == os::kErrorSuccess && type == os::kRegDword && size == sizeof rate && rate >= 1 && rate <= kMaxTrapRate) {
      config->ratePerSecond = rate;
    } else if (q != os::kErrorFileNotFound) {
      fail(kTrapRateValue);
    }
  }
  os::RegCloseKey(key);
  return ok;
}

bool IsTrapSetting(const char* option) {
  for (const Setting& s : kSettings) {
    if (std::strcmp(option, s.option) == 0) return true;
  }
  return false;
}

int SetTrapSetting(const char* option, const char* value) {
  const Setting* setting = nullptr;
  for (const Setting& s : kSettings) {
    if (std::strcmp(option, s.option) == 0) setting = &s;
  }
  if (setting == nullptr || !setting->check(value)) {
    std::fprintf(stderr, "vigilctl: invalid value \"%s\" for %s\n", value, option);
    return kExitUsage;
  }
  RegOperation op{RegOperation::Kind::kSetValue, AgentKeyPath(), setting->value, os::kRegSz, {}, 0};
  if (setting->check == CheckRate) {
    uint32_t rate = 0;
    ParseTrapRate(value, &rate);
    op.type = os::kRegDword;
    for (int i = 0; i < 4; ++i) op.data.push_back(uint8_t(rate >> (8 * i)));  // REG_DWORD is little-endian
  } else {
    op.data.assign(value, value + std::strlen(value) + 1);
  }
  RegOperation create{RegOperation::Kind::kCreateKey, AgentKeyPath(), "", 0, {}, 0};
  std::string error;
  if (ApplyRegOperations({create, op}, &error) != 0) {
    std::fprintf(stderr, "vigilctl: %s\n", error.c_str());
    return kExitFailed;
  }
  const bool secret = setting->check == CheckPassphrase;
  std::printf("%s = %s saved\n", setting->value, secret ? "(passphrase)" : value);
  return kExitOk;
}

}  // namespace vigilctl
