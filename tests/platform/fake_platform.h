// Test-only: an in-process device at \\.\HwGate that serves the SMBIOS table read and records
// every exchange, so tests reach it through the agent's real channel code.
#pragma once

#include <cstdint>
#include <vector>

namespace vigil::test {

struct Exchange {
  uint32_t code;
  uint32_t inLength;
  uint32_t outLength;
};

class FakePlatform {
 public:
  FakePlatform();   // registers the device
  ~FakePlatform();  // removes it and closes the channel

  std::vector<uint8_t> table;  // answered to the SMBIOS read; zero bytes past its end
  bool fail = false;           // every control code fails
  int failTableReads = 0;      // so many SMBIOS reads fail first (a provider not up yet)
  std::vector<Exchange> exchanges;

 private:
  static bool Serve(void* context, uint32_t code, const void* in, uint32_t inLen, void* out,
                    uint32_t outLen, uint32_t* returned);
};

}  // namespace vigil::test
