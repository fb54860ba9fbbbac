// serve-metrics' scrapes against a stand-in agent in this process: how often the agent is
// asked, and when the exposition may call it up and show readings.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "metrics_scrape.h"
#include "os/os.h"
#include "support/sandbox.h"

namespace vigilctl {
namespace {

namespace b = vigil::block;

// The block, the two events and a thread that answers every request and counts them.
class StandInAgent {
 public:
  StandInAgent() {
    mapping_ = os::CreateNamedMapping(b::kName, b::kSize);
    block_ = mapping_ != nullptr ? static_cast<uint8_t*>(os::MapWholeView(mapping_)) : nullptr;
    if (block_ == nullptr) return;
    uint8_t* record = block_ + b::SensorRecordOffset(0);
    record[vigil::sensor::kSensorType] = vigil::sensor::kTypeTemperature;
    std::memcpy(record + vigil::sensor::kName, "CPU1 Temp", 9);
    b::StoreF32(record, vigil::sensor::kReading, 40.5f);
    b::StoreU16(block_, b::kSensorCount, 1);
    b::StoreU8(block_, b::kStartupComplete, 1);
    request_ = os::CreateNamedEvent(vigil::kRequestEventName, true, false);
    reply_ = os::CreateNamedEvent(vigil::kReplyEventName, true, false);
    thread_ = std::thread([this] {
      while (!stop_.load()) {
        if (os::WaitForEvent(request_, 20) != os::WaitResult::kSignaled) continue;
        os::ResetEvent(request_);
        ++requests_;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // a refresh takes a while
        os::SetEvent(reply_);
      }
    });
  }
  ~StandInAgent() {
    Die();
    os::CloseHandle(mapping_);  // the view stays, as the port's views do
  }

  // As a killed agent: its events go with it, the block stays with the clients that hold it.
  void Die() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    os::CloseHandle(request_);
    os::CloseHandle(reply_);
    request_ = reply_ = nullptr;
  }
  bool ready() const { return request_ != nullptr && reply_ != nullptr; }
  int requests() const { return requests_.load(); }

 private:
  os::Handle mapping_ = nullptr;
  uint8_t* block_ = nullptr;
  os::Handle request_ = nullptr;
  os::Handle reply_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

bool Has(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

TEST(SharedScraperTest, ConcurrentScrapesShareOneRefreshAndTheIntervalBoundsThem) {
  vigil::test::Sandbox sandbox;
  StandInAgent agent;
  ASSERT_TRUE(agent.ready());
  SharedScraper scraper(1000, 400);
  std::vector<std::string> texts(8);
  std::vector<std::thread> clients;
  for (std::string& text : texts) clients.emplace_back([&] { text = scraper.Scrape(); });
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(agent.requests(), 1);
  for (const std::string& text : texts) {
    EXPECT_TRUE(Has(text, "vigil_agent_up 1\n")) << text;
    EXPECT_TRUE(Has(text, "vigil_temperature_celsius{sensor=\"CPU1 Temp\",index=\"0\"} 40.5\n")) << text;
  }
  for (int i = 0; i < 50; ++i) scraper.Scrape();
  EXPECT_EQ(agent.requests(), 1);  // 50 more inside the interval: the last values
  EXPECT_TRUE(Has(scraper.Scrape(), "vigil_scrape_refresh_age_seconds 0."));
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  EXPECT_TRUE(Has(scraper.Scrape(), "vigil_scrape_refresh_age_seconds 0\n"));
  EXPECT_EQ(agent.requests(), 2);
}

// Up means running and answering; readings are shown only then.
TEST(SharedScraperTest, AgentUpOnlyWhileRunningAndAnsweringAndNoReadingsOtherwise) {
  struct Case {
    const char* name;
    const char* statusFile;  // null: none
    bool dies;               // killed after the first, successful refresh
    uint32_t intervalMs;     // 10 s: the second scrape is served between refreshes
    bool up;
  };
  const Case cases[] = {
      {"running", "START_PENDING controls=0\nRUNNING controls=5\n", false, 0, true},
      {"no status file", nullptr, false, 0, true},
      {"stopped", "RUNNING controls=5\nSTOP_PENDING controls=0\nSTOPPED controls=0\n", false, 0, false},
      {"still starting", "START_PENDING controls=0\n", false, 0, false},
      {"running on a private block", "RUNNING controls=5 note=block-unpublished\n", false, 0, false},
      {"killed, refreshed", "RUNNING controls=5\n", true, 0, false},
      {"killed, between refreshes", "RUNNING controls=5\n", true, 10000, false},
  };
  for (const Case& c : cases) {
    vigil::test::Sandbox sandbox;
    if (c.statusFile != nullptr) sandbox.WriteFile("run/vigilagent/status", c.statusFile);
    StandInAgent agent;
    ASSERT_TRUE(agent.ready()) << c.name;
    SharedScraper scraper(300, c.intervalMs);
    if (c.dies) {
      EXPECT_TRUE(Has(scraper.Scrape(), "vigil_agent_up 1\n")) << c.name;
      agent.Die();
    }
    const std::string text = scraper.Scrape();
    EXPECT_EQ(Has(text, "vigil_agent_up 1\n"), c.up) << c.name << "\n" << text;
    EXPECT_EQ(Has(text, "vigil_temperature_celsius{"), c.up) << c.name << "\n" << text;
    EXPECT_EQ(Has(text, "vigil_sensor_state{"), c.up) << c.name << "\n" << text;
  }
}

}  // namespace
}  // namespace vigilctl
#endif
