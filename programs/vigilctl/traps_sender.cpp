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
#include <ctime>
#include <deque>
#include <map>
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
constexpr auto kLookupPoll = std::chrono::milliseconds(200);
// A ring's worth: beyond that the ring has overwritten what the manager has not taken anyway.
constexpr std::size_t kMaxQueuedInforms = 600;
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
  // Informs not yet acknowledged: waiting for their next try (oldest first), or handed to
  // net-snmp and waiting for the acknowledgement (by our own number, in sending order).
  // Together bounded; beyond that the oldest waiting one is dropped.
  std::deque<std::pair<TrapMessage, Clock::time_point>> queue;
  std::map<uint64_t, TrapMessage> inFlight;
  uint64_t nextInFlight = 0;
  Clock::duration informBackoff = kFirstBackoff;
  bool reportedUnacknowledged = false;
  bool changed = false;  // an inform was added, acknowledged or dropped since the last look

  void Queue(TrapMessage message, Clock::time_point at) {
    if (queue.size() + inFlight.size() >= kMaxQueuedInforms && !queue.empty()) {
      queue.pop_front();
      if (dropped++ == 0) {
        std::fprintf(stderr, "vigilctl traps: %zu informs wait for %s; dropping the oldest\n", kMaxQueuedInforms,
                     Name().c_str());
      }
    }
    queue.emplace_back(std::move(message), at);
    changed = true;
  }

  std::string Name() const {
    return (where.host.find(':') != std::string::npos ? "[" + where.host + "]" : where.host) + ":" +
           std::to_string(where.port);
  }

  void Down(const char* why) {
    // What net-snmp still holds goes back to the queue, to be sent once the session is back.
    for (auto it = inFlight.rbegin(); it != inFlight.rend(); ++it) {
      queue.emplace_front(std::move(it->second), Clock::time_point{});
    }
    inFlight.clear();
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

  // authPriv with SHA and AES-128. For traps the sender is the authoritative engine: the keys
  // are localised to its engine ID, and its boots and time go out in each message. For informs
  // the manager is: the keys are localised to its engine ID; its boots and time are learnt from
  // its first notInTimeWindow report, after which net-snmp sends the inform again.
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
    s->flags |= SNMP_FLAGS_DONT_PROBE;
    if (!config.inform) {
      s->engineBoots = boots;
      s->engineTime = seconds;
      set_enginetime(engineId.data(), engineId.size(), boots, seconds, TRUE);
    }
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
  if (config.version == TrapVersion::kV3 && config.inform) {
    engineId_ = config.v3ManagerEngineId;
  } else if (engineId_.empty()) {
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
  uint64_t id;
};

int TrapSender::OnInformDone(int operation, netsnmp_session*, int, netsnmp_pdu*, void* magic) {
  // A retransmission is announced too; the request is still net-snmp's.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_CONNECT) return 1;
  std::unique_ptr<InFlight> inFlight(static_cast<InFlight*>(magic));
  Destination& d = *inFlight->destination;
  const auto found = d.inFlight.find(inFlight->id);
  if (found == d.inFlight.end()) return 1;  // already back in the queue (the session went down)
  TrapMessage message = std::move(found->second);
  d.inFlight.erase(found);
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE) {
    d.informBackoff = kFirstBackoff;
    d.changed = true;
    if (d.reportedUnacknowledged) {
      std::fprintf(stderr, "vigilctl traps: destination %s acknowledges again\n", d.Name().c_str());
    }
    d.reportedUnacknowledged = false;
    return 1;
  }
  if (!d.reportedUnacknowledged) {
    std::fprintf(stderr, "vigilctl traps: destination %s does not acknowledge; informs kept for retries\n",
                 d.Name().c_str());
  }
  d.reportedUnacknowledged = true;
  d.queue.emplace_back(std::move(message), Clock::now() + d.informBackoff);
  d.informBackoff = std::min<Clock::duration>(d.informBackoff * 2, kMaxInformBackoff);
  return 1;
}

bool TrapSender::SendTo(Destination& d, const TrapMessage& message) {
  const long seconds = long(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count());
  if (!d.Ready(config_, engineId_, engineBoots_, seconds)) {
    ++d.dropped;
    return false;
  }
  netsnmp_pdu* pdu = BuildPdu(message);
  if (snmp_sess_send(d.session, pdu) != 0) return true;
  snmp_free_pdu(pdu);
  ++d.dropped;
  d.Down("send failed");
  return false;
}

std::size_t TrapSender::Send(const TrapMessage& message) {
  if (config_.inform) {
    for (auto& d : destinations_) d->Queue(message, Clock::time_point{});
    return destinations_.size();
  }
  std::size_t taken = 0;
  for (auto& d : destinations_) taken += SendTo(*d, message) ? 1 : 0;
  return taken;
}

bool TrapSender::SendInform(Destination& d, TrapMessage message) {
  const long seconds = long(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count());
  if (!d.Ready(config_, engineId_, engineBoots_, seconds)) {
    // In back-off, or its name still being looked up: look again a little later.
    d.queue.emplace_front(std::move(message), std::max(d.retryAt, Clock::now() + kLookupPoll));
    return false;
  }
  netsnmp_pdu* pdu = BuildPdu(message);
  const uint64_t id = d.nextInFlight++;
  auto* inFlight = new InFlight{&d, id};
  d.inFlight.emplace(id, std::move(message));
  if (snmp_sess_async_send(d.session, pdu, OnInformDone, inFlight) != 0) return true;
  delete inFlight;
  snmp_free_pdu(pdu);
  d.Down("send failed");  // puts the message back in the queue
  return false;
}

void TrapSender::Flush() {
  // Queued informs whose time has come go out, oldest first.
  for (auto& d : destinations_) {
    while (!d->queue.empty() && d->queue.front().second <= Clock::now()) {
      TrapMessage message = std::move(d->queue.front().first);
      d->queue.pop_front();
      if (!SendInform(*d, std::move(message))) break;
    }
  }
}

std::vector<PendingInform> TrapSender::Unacknowledged() const {
  std::vector<PendingInform> pending;
  for (const auto& d : destinations_) {
    for (const auto& [message, at] : d->queue) pending.push_back({d->Name(), message});
    for (const auto& [id, message] : d->inFlight) pending.push_back({d->Name(), message});
  }
  return pending;
}

std::size_t TrapSender::Restore(const std::vector<PendingInform>& pending) {
  std::size_t unknown = 0;
  for (const PendingInform& p : pending) {
    auto d = std::find_if(destinations_.begin(), destinations_.end(),
                          [&](const auto& x) { return x->Name() == p.destination; });
    if (d == destinations_.end() || !config_.inform) {
      ++unknown;
    } else {
      (*d)->Queue(p.message, Clock::time_point{});
    }
  }
  return unknown;
}

bool TrapSender::TakeChanged() {
  bool changed = false;
  for (auto& d : destinations_) {
    changed = changed || d->changed;
    d->changed = false;
  }
  return changed;
}

void TrapSender::Poll(Clock::time_point until) {
  Flush();
  // Wake for the first queued inform that comes due, net-snmp's retransmissions, or `until`.
  Clock::time_point wake = until;
  for (auto& d : destinations_) {
    if (!d->queue.empty()) wake = std::min(wake, std::max(d->queue.front().second, d->retryAt));
  }
  const auto left = std::max<long long>(
      std::chrono::duration_cast<std::chrono::microseconds>(wake - Clock::now()).count(), 0);
  timeval wait{long(left / 1000000), long(left % 1000000)};
  fd_set reads;
  FD_ZERO(&reads);
  int fds = 0;
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

}  // namespace vigilctl
