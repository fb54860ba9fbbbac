#include "traps_sender.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#include "pet_trap.h"

namespace vigilctl {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFirstBackoff = std::chrono::seconds(1);
constexpr auto kMaxBackoff = std::chrono::seconds(300);
constexpr auto kMaxInformBackoff = std::chrono::seconds(30);
constexpr std::size_t kMaxQueuedInforms = 2000;
constexpr long kInformTimeoutUs = 1000000;  // net-snmp retransmits after 1 s, twice
constexpr int kInformRetries = 2;
const oid kSysUpTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const oid kSnmpTrapOid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const oid kSnmpTrapEnterprise[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0};

template <std::size_t N>
std::vector<oid> Oid(const uint32_t (&parts)[N]) {
  return std::vector<oid>(parts, parts + N);
}

// A name lookup that may take as long as the resolver likes, off the sending thread.
struct Lookup {
  std::mutex lock;
  bool done = false;
  std::string address;  // numeric, empty when the name did not resolve
};

void Resolve(std::shared_ptr<Lookup> lookup, std::string host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  std::string address;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
    char text[INET6_ADDRSTRLEN] = {};
    if (getnameinfo(found->ai_addr, found->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0) {
      address = text;
    }
    freeaddrinfo(found);
  }
  std::lock_guard<std::mutex> hold(lookup->lock);
  lookup->address = address;
  lookup->done = true;
}

bool IsNumeric(const std::string& host) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

struct TrapSender::Destination {
  TrapDestination where;
  void* session = nullptr;
  std::shared_ptr<Lookup> lookup;
  Clock::time_point retryAt{};
  Clock::duration backoff = kFirstBackoff;
  uint64_t dropped = 0;
  bool reportedDown = false;
  // Informs not yet acknowledged, with the time of their next try; bounded, oldest dropped.
  std::deque<std::pair<TrapMessage, Clock::time_point>> queue;
  Clock::duration informBackoff = kFirstBackoff;
  bool reportedUnacknowledged = false;

  void Queue(TrapMessage message, Clock::time_point at) {
    if (queue.size() == kMaxQueuedInforms) {
      queue.pop_front();
      ++dropped;
    }
    queue.emplace_back(std::move(message), at);
  }

  std::string Name() const {
    return (where.host.find(':') != std::string::npos ? "[" + where.host + "]" : where.host) + ":" +
           std::to_string(where.port);
  }

  void Down(const char* why) {
    if (session != nullptr) snmp_sess_close(session);
    session = nullptr;
    lookup.reset();
    retryAt = Clock::now() + backoff;
    if (!reportedDown) {
      std::fprintf(stderr, "vigilctl traps: destination %s unusable (%s); retrying with back-off\n",
                   Name().c_str(), why);
    }
    reportedDown = true;
    backoff = std::min<Clock::duration>(backoff * 2, kMaxBackoff);
  }

  void Open(const TrapConfig& config, std::vector<uint8_t>& engineId, long boots, long seconds,
            const std::string& address) {
    const bool v6 = address.find(':') != std::string::npos;
    const std::string peer = (v6 ? "udp6:[" + address + "]" : "udp:" + address) + ":" + std::to_string(where.port);
    netsnmp_session setup;
    snmp_sess_init(&setup);
    setup.version = config.version == TrapVersion::kV1 ? SNMP_VERSION_1 : SNMP_VERSION_2c;
    setup.peername = const_cast<char*>(peer.c_str());
    setup.community = reinterpret_cast<u_char*>(const_cast<char*>(config.community.c_str()));
    setup.community_len = config.community.size();
    if (config.inform) {
      setup.timeout = kInformTimeoutUs;
      setup.retries = kInformRetries;
    }
    if (config.version == TrapVersion::kV3 && !SetUpUsm(config, engineId, boots, seconds, &setup)) {
      Down("the v3 keys cannot be made");
      return;
    }
    session = snmp_sess_open(&setup);
    netsnmp_transport* transport = session != nullptr ? snmp_sess_transport(session) : nullptr;
    if (transport == nullptr) {
      Down("no socket");
      return;
    }
    fcntl(transport->sock, F_SETFL, fcntl(transport->sock, F_GETFL) | O_NONBLOCK);
    if (reportedDown) {
      std::fprintf(stderr, "vigilctl traps: destination %s usable again; %llu traps were dropped meanwhile\n",
                   Name().c_str(), static_cast<unsigned long long>(dropped));
    }
    reportedDown = false;
    dropped = 0;
    backoff = kFirstBackoff;
  }

  // authPriv with SHA and AES-128. For notifications the sender is the authoritative engine:
  // the keys are localised to its engine ID, and its boots and time go out in each message.
  static bool SetUpUsm(const TrapConfig& config, std::vector<uint8_t>& engineId, long boots, long seconds,
                       netsnmp_session* s) {
    s->version = SNMP_VERSION_3;
    s->securityModel = SNMP_SEC_MODEL_USM;
    s->securityName = const_cast<char*>(config.v3User.c_str());
    s->securityNameLen = config.v3User.size();
    s->securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
    s->securityAuthProto = usmHMACSHA1AuthProtocol;
    s->securityAuthProtoLen = USM_AUTH_PROTO_SHA_LEN;
    s->securityAuthKeyLen = USM_AUTH_KU_LEN;
    s->securityPrivProto = usmAESPrivProtocol;
    s->securityPrivProtoLen = USM_PRIV_PROTO_AES_LEN;
    s->securityPrivKeyLen = USM_PRIV_KU_LEN;
    auto ku = [&](const std::string& pass, u_char* key, size_t* length) {
      return generate_Ku(usmHMACSHA1AuthProtocol, USM_AUTH_PROTO_SHA_LEN,
                         reinterpret_cast<const u_char*>(pass.data()), pass.size(), key, length) == SNMPERR_SUCCESS;
    };
    if (!ku(config.v3AuthPassphrase, s->securityAuthKey, &s->securityAuthKeyLen) ||
        !ku(config.v3PrivPassphrase, s->securityPrivKey, &s->securityPrivKeyLen)) {
      return false;
    }
    s->securityEngineID = engineId.data();
    s->securityEngineIDLen = engineId.size();
    s->contextEngineID = engineId.data();
    s->contextEngineIDLen = engineId.size();
    s->engineBoots = boots;
    s->engineTime = seconds;
    s->flags |= SNMP_FLAGS_DONT_PROBE;
    set_enginetime(engineId.data(), engineId.size(), boots, seconds, TRUE);
    return true;
  }

  // True when a session is open; starts a lookup or an open when the back-off allows.
  bool Ready(const TrapConfig& config, std::vector<uint8_t>& engineId, long boots, long seconds) {
    if (session != nullptr) return true;
    if (Clock::now() < retryAt) return false;
    if (IsNumeric(where.host)) {
      Open(config, engineId, boots, seconds, where.host);
      return session != nullptr;
    }
    if (!lookup) {
      lookup = std::make_shared<Lookup>();
      std::thread(Resolve, lookup, where.host).detach();
    }
    std::string address;
    {
      std::lock_guard<std::mutex> hold(lookup->lock);
      if (!lookup->done) return false;
      address = lookup->address;
    }
    if (address.empty()) {
      Down("name does not resolve");
      return false;
    }
    Open(config, engineId, boots, seconds, address);
    return session != nullptr;
  }
};

TrapSender::TrapSender(const TrapConfig& config, const uint8_t* uuid16)
    : config_(config), started_(Clock::now()), engineId_(config.v3EngineId) {
  if (engineId_.empty()) {
    // RFC 3411 engine ID: enterprise 3183 with the high bit, format 5 (octets), the UUID.
    engineId_ = {0x80, 0x00, 0x0C, 0x6F, 0x05};
    engineId_.insert(engineId_.end(), uuid16, uuid16 + 16);
  }
  // Boots must grow at every start, or a receiver that saw a later time drops the traps as
  // replays: the start's wall-clock second does that without a file of its own.
  engineBoots_ = long(std::time(nullptr) & 0x7FFFFFFF);
  // Only sessions and PDUs are needed: no configuration files, MIBs or persistent state.
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
  setenv("MIBS", "", 1);
  init_snmp("vigilctl");
  for (const TrapDestination& d : config.destinations) {
    destinations_.push_back(std::make_unique<Destination>());
    destinations_.back()->where = d;
  }
}

TrapSender::~TrapSender() {
  for (auto& d : destinations_) {
    if (d->session != nullptr) snmp_sess_close(d->session);
  }
  snmp_shutdown("vigilctl");
}

std::string TrapSender::EngineIdHex() const {
  std::string hex = "0x";
  char two[3];
  for (uint8_t b : engineId_) {
    std::snprintf(two, sizeof two, "%02X", b);
    hex += two;
  }
  return hex;
}

netsnmp_pdu* TrapSender::BuildPdu(const TrapMessage& message) const {
  const auto uptime = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_).count() / 10;
  const std::vector<oid> enterprise = Oid(kPetEnterprise);
  const std::vector<oid> varbind = Oid(kPetVarbind);
  netsnmp_pdu* pdu = nullptr;
  if (config_.version == TrapVersion::kV1) {
    pdu = snmp_pdu_create(SNMP_MSG_TRAP);
    pdu->enterprise = snmp_duplicate_objid(enterprise.data(), enterprise.size());
    pdu->enterprise_length = enterprise.size();
    pdu->trap_type = kPetGenericTrap;
    pdu->specific_type = long(message.specificTrap);
    pdu->time = u_long(uptime);
    const in_addr_t self = get_myaddr();
    std::memcpy(pdu->agent_addr, &self, sizeof pdu->agent_addr);
  } else {
    // The v1 trap as a v2 notification: snmpTrapOID = enterprise.0.specific, and the
    // enterprise again in snmpTrapEnterprise.0 after the trap's own varbinds.
    pdu = snmp_pdu_create(config_.inform ? SNMP_MSG_INFORM : SNMP_MSG_TRAP2);
    const u_long ticks = u_long(uptime);
    snmp_pdu_add_variable(pdu, kSysUpTime, OID_LENGTH(kSysUpTime), ASN_TIMETICKS, &ticks, sizeof ticks);
    std::vector<oid> trapOid = enterprise;
    trapOid.push_back(0);
    trapOid.push_back(message.specificTrap);
    snmp_pdu_add_variable(pdu, kSnmpTrapOid, OID_LENGTH(kSnmpTrapOid), ASN_OBJECT_ID, trapOid.data(),
                          trapOid.size() * sizeof(oid));
  }
  snmp_pdu_add_variable(pdu, varbind.data(), varbind.size(), ASN_OCTET_STR, message.petVarbind.data(),
                        message.petVarbind.size());
  if (config_.version != TrapVersion::kV1) {
    snmp_pdu_add_variable(pdu, kSnmpTrapEnterprise, OID_LENGTH(kSnmpTrapEnterprise), ASN_OBJECT_ID,
                          enterprise.data(), enterprise.size() * sizeof(oid));
  }
  return pdu;
}

// An inform on its way: net-snmp retransmits it; a final time-out puts it back in the queue.
struct TrapSender::InFlight {
  Destination* destination;
  TrapMessage message;
};

int TrapSender::OnInformDone(int operation, netsnmp_session*, int, netsnmp_pdu*, void* magic) {
  // A retransmission is announced too; the request is still net-snmp's.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_CONNECT) return 1;
  std::unique_ptr<InFlight> inFlight(static_cast<InFlight*>(magic));
  Destination& d = *inFlight->destination;
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE) {
    d.informBackoff = kFirstBackoff;
    return 1;
  }
  if (!d.reportedUnacknowledged) {
    std::fprintf(stderr, "vigilctl traps: destination %s does not acknowledge; informs kept for retries\n",
                 d.Name().c_str());
  }
  d.reportedUnacknowledged = true;
  d.Queue(std::move(inFlight->message), Clock::now() + d.informBackoff);
  d.informBackoff = std::min<Clock::duration>(d.informBackoff * 2, kMaxInformBackoff);
  return 1;
}

bool TrapSender::SendTo(Destination& d, const TrapMessage& message) {
  const long seconds = long(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count());
  if (!d.Ready(config_, engineId_, engineBoots_, seconds)) {
    if (config_.inform) {
      d.Queue(message, d.retryAt);
    } else {
      ++d.dropped;
    }
    return false;
  }
  netsnmp_pdu* pdu = BuildPdu(message);
  if (config_.inform) {
    auto* inFlight = new InFlight{&d, message};
    if (snmp_sess_async_send(d.session, pdu, OnInformDone, inFlight) != 0) return true;
    delete inFlight;
    snmp_free_pdu(pdu);
    d.Queue(message, Clock::now());
    d.Down("send failed");
    return false;
  }
  if (snmp_sess_send(d.session, pdu) != 0) return true;
  snmp_free_pdu(pdu);
  ++d.dropped;
  d.Down("send failed");
  return false;
}

std::size_t TrapSender::Send(const TrapMessage& message) {
  std::size_t taken = 0;
  for (auto& d : destinations_) taken += SendTo(*d, message) ? 1 : 0;
  return taken;
}

void TrapSender::Wait(std::chrono::milliseconds span, const volatile sig_atomic_t* stop) {
  const Clock::time_point until = Clock::now() + span;
  while (!*stop && Clock::now() < until) {
    // Queued informs whose time has come go out again, oldest first.
    for (auto& d : destinations_) {
      while (!d->queue.empty() && d->queue.front().second <= Clock::now()) {
        TrapMessage message = std::move(d->queue.front().first);
        d->queue.pop_front();
        if (!SendTo(*d, message)) break;
      }
    }
    fd_set reads;
    FD_ZERO(&reads);
    int fds = 0;
    timeval wait{};
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now());
    wait.tv_sec = long(std::max<long long>(left.count(), 0) / 1000000);
    wait.tv_usec = long(std::max<long long>(left.count(), 0) % 1000000);
    int block = 0;
    for (auto& d : destinations_) {
      if (d->session != nullptr) snmp_sess_select_info(d->session, &fds, &reads, &wait, &block);
    }
    const int ready = select(fds, &reads, nullptr, nullptr, &wait);
    for (auto& d : destinations_) {
      if (d->session == nullptr) continue;
      if (ready > 0) snmp_sess_read(d->session, &reads);
      snmp_sess_timeout(d->session);
    }
  }
}

}  // namespace vigilctl
