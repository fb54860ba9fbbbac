// SNMP traps to the configured destinations through net-snmp (Linux). Each destination has its
// own session; one that cannot be resolved or whose socket fails is retried with back-off and
// never holds up the others.
#pragma once

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "traps_config.h"

struct snmp_pdu;
struct snmp_session;
using netsnmp_pdu = snmp_pdu;
using netsnmp_session = snmp_session;

namespace vigilctl {

struct TrapMessage {
  uint32_t specificTrap;
  std::vector<uint8_t> petVarbind;
};

class TrapSender {
 public:
  // `uuid16`: the system UUID, from which a v3 engine ID is made when none is configured.
  TrapSender(const TrapConfig& config, const uint8_t* uuid16);
  ~TrapSender();
  TrapSender(const TrapSender&) = delete;
  TrapSender& operator=(const TrapSender&) = delete;

  // Hands the trap to every destination that is up (non-blocking UDP sends); the ones in
  // back-off count it as dropped. Returns the number of destinations that took it.
  std::size_t Send(const TrapMessage& message);
  // Waits `span` (cut short by *stop), meanwhile taking informs' acknowledgements, letting
  // net-snmp retransmit, and sending queued informs again when their back-off has passed.
  void Wait(std::chrono::milliseconds span, const volatile sig_atomic_t* stop);
  // The authoritative engine ID of v3 traps, as hex (the receiver's users are keyed to it).
  std::string EngineIdHex() const;

 private:
  struct Destination;
  struct InFlight;
  netsnmp_pdu* BuildPdu(const TrapMessage& message) const;
  bool SendTo(Destination& d, const TrapMessage& message);
  static int OnInformDone(int operation, netsnmp_session* session, int request, netsnmp_pdu* pdu, void* magic);

  std::vector<std::unique_ptr<Destination>> destinations_;
  TrapConfig config_;
  std::chrono::steady_clock::time_point started_;
  std::vector<uint8_t> engineId_;
  long engineBoots_ = 1;
};

}  // namespace vigilctl
