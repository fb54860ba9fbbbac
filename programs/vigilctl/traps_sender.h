// SNMP traps to the configured destinations through net-snmp (Linux). Each destination has its
// own session; one that cannot be resolved or whose socket fails is retried with back-off and
// never holds up the others.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "pet_trap.h"
#include "traps_config.h"
#include "traps_cursor.h"

struct snmp_pdu;
struct snmp_session;
using netsnmp_pdu = snmp_pdu;
using netsnmp_session = snmp_session;

namespace vigilctl {

class TrapSender {
 public:
  // `uuid16`: the system UUID, from which a v3 engine ID is made when none is configured.
  TrapSender(const TrapConfig& config, const uint8_t* uuid16);
  ~TrapSender();
  TrapSender(const TrapSender&) = delete;
  TrapSender& operator=(const TrapSender&) = delete;

  // Traps: hands the trap to every destination that is up (non-blocking UDP sends); the ones
  // in back-off count it as dropped. Informs: queues it for every destination, to go out at
  // the next Flush or Poll; it stays pending until acknowledged. Returns the destinations
  // that took it.
  std::size_t Send(const TrapMessage& message);
  // Sends the queued informs that are due.
  void Flush();
  // One round, at most until `until` (a signal cuts it short): sends due informs, takes
  // acknowledgements, lets net-snmp retransmit.
  void Poll(std::chrono::steady_clock::time_point until);
  // The informs not yet acknowledged, by destination, to be kept across a restart.
  std::vector<PendingInform> Unacknowledged() const;
  // Queues informs kept by an earlier run; returns how many name no configured destination
  // (or informs are now off): those are dropped.
  std::size_t Restore(const std::vector<PendingInform>& pending);
  // True when the pending informs changed (added, acknowledged, dropped) since the last call.
  bool TakeChanged();
  // The authoritative engine ID, as hex: its own for traps, the manager's for v3 informs.
  std::string EngineIdHex() const;

 private:
  struct Destination;
  struct InFlight;
  netsnmp_pdu* BuildPdu(const TrapMessage& message) const;
  bool SendTo(Destination& d, const TrapMessage& message);
  bool SendInform(Destination& d, TrapMessage message);
  static int OnInformDone(int operation, netsnmp_session* session, int request, netsnmp_pdu* pdu, void* magic);

  std::vector<std::unique_ptr<Destination>> destinations_;
  TrapConfig config_;
  std::chrono::steady_clock::time_point started_;
  std::vector<uint8_t> engineId_;
  long engineBoots_ = 1;
};

}  // namespace vigilctl
