// vigilctl metrics and serve-metrics against a real agent and simulator, checked by the real
// promtool; the textfile; the HTTP server's limits.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <httplib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <thread>

#include "support/agent_rig.h"
#include "agent/eventlog/decoded_event.h"
#include "metrics_server_probe.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_block.h"
#include "support/sandbox.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

// promtool's verdict on an exposition: "" when it passes, else what it said.
std::string PromtoolProblems(const Sandbox& sandbox, const std::string& exposition) {
  sandbox.WriteFile("check.prom", exposition);
  RunResult r = Run("/bin/sh", {"-c", "promtool check metrics < \"$0\" 2>&1", sandbox.Path("check.prom")}, 30s);
  return r.status == 0 ? "" : "status " + std::to_string(r.status) + ": " + r.out + r.err;
}

RunResult Vigilctl(const std::vector<std::string>& args) { return Run(BinaryPath("vigilctl"), args, 20s); }

struct ModelCase {
  const char* scenario;
  const char* model;
  bool uuid;
};

TEST(MetricsE2eTest, EveryFixtureModelPassesPromtool) {
  const ModelCase cases[] = {{"kelvo-a140.json", "Kelvo A140", true},
                             {"kelvo-a141.json", "Kelvo A141", true},
                             {"kelvo-b720.json", "Kelvo B720", true},
                             {"kelvo-c850.json", "Kelvo C850", true},
                             {"unknown-model.json", "", false}};
  for (const ModelCase& c : cases) {
    AgentRig h;
    ASSERT_EQ(h.Start(c.scenario), 0) << c.scenario << "\n" << h.Log();
    RunResult r = h.Vigilctl({"metrics"});
    ASSERT_EQ(r.status, 0) << c.scenario << r.err;
    EXPECT_EQ(PromtoolProblems(h.sandbox(), r.out), "") << c.scenario << "\n" << r.out;
    const std::regex info(std::string("vigil_agent_info\\{model=\"") + c.model +
                          "\",manufacturer=\"Kelvo[^\"]*\",product=\"Kelvo [^\"]+\",uuid=\"" +
                          (c.uuid ? "[0-9a-f-]{36}" : "") + "\"\\} 1\n");
    EXPECT_TRUE(std::regex_search(r.out, info)) << c.scenario << "\n" << r.out;
    EXPECT_NE(r.out.find("vigil_agent_up 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("vigil_scrape_refresh_success 1\n"), std::string::npos);
  }
}

// A block with hostile names and counters, as any local process could write it.
std::string HostileBlock() {
  std::string b(block::kSize, '\0');
  auto* bytes = reinterpret_cast<uint8_t*>(b.data());
  const char* names[] = {"quote\" back\\slash", "line\nfeed", "bad \xC3\x28 \xFF utf8", "\xE2\x82\xAC ok",
                         "                                "};
  for (std::size_t i = 0; i < 5; ++i) {
    uint8_t* r = bytes + block::SensorRecordOffset(i);
    r[sensor::kOwnerId] = 0x21;
    r[sensor::kSensorType] = i % 2 == 0 ? sensor::kTypeTemperature : sensor::kTypeFan;
    std::memcpy(r + sensor::kName, names[i], std::strlen(names[i]));
    block::StoreF32(r, sensor::kReading, i == 3 ? std::numeric_limits<float>::quiet_NaN() : 20.5f);
    block::StoreU16(r, sensor::kState, uint16_t(i * 1000));
  }
  block::StoreU16(bytes, block::kSensorCount, 0xFFFF);
  block::StoreU16(bytes, block::kRingNextSlot, 9999);
  block::StoreU16(bytes, block::kRingAppendCount, 0xFFFF);
  for (std::size_t slot = 0; slot < block::kRingSlots; ++slot) {
    bytes[block::RingEntryOffset(slot) + offsetof(HistoryEntry, sensorType)] = uint8_t(slot);
  }
  return b;
}

TEST(MetricsE2eTest, HostileNamesAreEscapedAndPassPromtool) {
  Sandbox sandbox;
  ASSERT_NE(HoldClientBlock(HostileBlock()), nullptr);
  RunResult r = Vigilctl({"metrics", "--no-refresh"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(PromtoolProblems(sandbox, r.out), "") << r.out;
  EXPECT_NE(r.out.find("{sensor=\"quote\\\" back\\\\slash\",index=\"0\"} 20.5\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{sensor=\"line\\nfeed\",index=\"1\"}"), std::string::npos);
  EXPECT_NE(r.out.find("{sensor=\"bad \xEF\xBF\xBD( \xEF\xBF\xBD utf8\",index=\"2\"}"), std::string::npos);
  EXPECT_NE(r.out.find("{sensor=\"\xE2\x82\xAC ok\",index=\"3\"} NaN\n"), std::string::npos);
  EXPECT_NE(r.out.find("{sensor=\"\",index=\"4\",type=\"temperature\"} NaN\n"), std::string::npos);
  EXPECT_NE(r.out.find("vigil_bios_event_history_entries 600\n"), std::string::npos);
  EXPECT_NE(r.out.find("vigil_agent_up 0\n"), std::string::npos);
}

TEST(MetricsE2eTest, TextfileIsReplacedWholeWithMode0644AndNothingElseTouched) {
  Sandbox sandbox;
  sandbox.WriteFile("collector/other.prom", "other_metric 1\n");
  sandbox.WriteFile("collector/vigilagent.prom", "stale_values 1\n");
  const std::string dir = sandbox.Path("collector");
  // No agent at all: the file must stop showing the old values.
  RunResult none = Vigilctl({"metrics", "--textfile", dir});
  EXPECT_EQ(none.status, 4);
  EXPECT_NE(sandbox.ReadFile("collector/vigilagent.prom").find("vigil_agent_up 0\n"), std::string::npos);

  ASSERT_NE(HoldClientBlock(HostileBlock()), nullptr);
  ::umask(077);  // the file is for an exporter running as another user, whatever our umask
  RunResult r = Vigilctl({"metrics", "--no-refresh", "--textfile", dir});
  ::umask(022);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  RunResult printed = Vigilctl({"metrics", "--no-refresh"});
  EXPECT_EQ(sandbox.ReadFile("collector/vigilagent.prom"), printed.out);
  struct stat st{};
  ASSERT_EQ(::stat(sandbox.Path("collector/vigilagent.prom").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(sandbox.ReadFile("collector/other.prom"), "other_metric 1\n");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 2u);  // no temporary left behind

  EXPECT_EQ(Vigilctl({"metrics", "--textfile", sandbox.Path("missing")}).status, 1);
}

TEST(MetricsE2eTest, ServeMetricsAnswersScrapesAndOutlivesSlowAndOversizedClients) {
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-c850.json"), 0) << h.Log();
  MetricsServerProbe server({"--threads", "2", "--refresh-timeout", "500"});
  ASSERT_GT(server.port(), 0) << server.process().Stderr();
  httplib::Client client("127.0.0.1", server.port());
  client.set_read_timeout(10, 0);

  auto scrape = client.Get("/metrics");
  ASSERT_TRUE(scrape);
  EXPECT_EQ(scrape->status, 200);
  EXPECT_EQ(scrape->get_header_value("Content-Type"), "text/plain; version=0.0.4");
  EXPECT_EQ(PromtoolProblems(h.sandbox(), scrape->body), "");
  EXPECT_NE(scrape->body.find("vigil_scrape_refresh_success 1\n"), std::string::npos);
  auto missing = client.Get("/other");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);

  // Methods, HEAD and two pipelined requests on one connection.
  struct Exchanged {
    const char* request;
    std::size_t answers;
    const char* expected;
  };
  const Exchanged exchanges[] = {
      {"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 1,
       "HTTP/1.1 405 Method Not Allowed\r\n"},
      {"HEAD /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 1, "HTTP/1.1 200 OK\r\n"},
      {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\nGET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 2,
       "HTTP/1.1 200 OK\r\n"},
  };
  for (const Exchanged& e : exchanges) {
    const std::string answer = Exchange(server.ConnectRaw(), e.request);
    std::size_t answers = 0;
    for (std::size_t at = answer.find("HTTP/1.1 "); at != std::string::npos; at = answer.find("HTTP/1.1 ", at + 1)) {
      ++answers;
    }
    EXPECT_EQ(answers, e.answers) << e.request << answer.substr(0, 300);
    EXPECT_EQ(answer.rfind(e.expected, 0), 0u) << e.request << answer.substr(0, 300);
  }
  EXPECT_EQ(Exchange(server.ConnectRaw(), exchanges[1].request).find("vigil_agent_up"), std::string::npos);
  EXPECT_NE(Exchange(server.ConnectRaw(), exchanges[0].request).find("Allow: GET, HEAD\r\n"), std::string::npos);

  // 64 clients that never finish their header and 64 that send one without end: scrapes are
  // answered all the same, before the client's 5 s read timeout.
  std::vector<int> held;
  for (int i = 0; i < 64; ++i) {
    held.push_back(server.ConnectRaw());
    ::send(held.back(), "GET /metrics HTTP/1.1\r\nX-Slow: a", 31, MSG_NOSIGNAL);
  }
  const std::string fill(65536, 'x');
  for (int i = 0; i < 64; ++i) {
    held.push_back(server.ConnectRaw());
    ::fcntl(held.back(), F_SETFL, O_NONBLOCK);
    ::send(held.back(), "GET /metrics HTTP/1.1\r\nX-Fill: ", 32, MSG_NOSIGNAL);
    ::send(held.back(), fill.data(), fill.size(), MSG_NOSIGNAL);
  }
  httplib::Client other("127.0.0.1", server.port());
  other.set_read_timeout(5, 0);
  auto during = other.Get("/metrics");
  ASSERT_TRUE(during);
  EXPECT_EQ(during->status, 200);
  for (int fd : held) server.CloseRaw(fd);

  // The agent gone: down at once, and none of its last readings passed off as current.
  h.agent().Signal(SIGTERM);
  ASSERT_GE(h.agent().Wait(15s), 0);
  auto stale = client.Get("/metrics");
  ASSERT_TRUE(stale);
  EXPECT_NE(stale->body.find("vigil_agent_up 0\n"), std::string::npos) << stale->body;
  EXPECT_EQ(stale->body.find("vigil_temperature_celsius{"), std::string::npos) << stale->body;

  EXPECT_TRUE(server.Stop());
}

// On a Unix socket: the group's members reach it, nobody else; it goes with the server.
TEST(MetricsE2eTest, ServeMetricsOnAUnixSocket) {
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-c850.json"), 0) << h.Log();
  const std::string path = h.sandbox().Path("run/metrics.sock");
  Process server(BinaryPath("vigilctl"), {"serve-metrics", "--listen", "unix:" + path});
  ASSERT_TRUE(WaitUntil([&] { return server.Stdout().find("serving /metrics on unix:" + path) != std::string::npos; },
                        10s))
      << server.Stderr();
  struct stat st{};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  const std::string answer = Exchange(ConnectUnix(path), "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer.substr(0, 300);
  EXPECT_NE(answer.find("vigil_agent_up 1\n"), std::string::npos);
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(10s), 0);
  EXPECT_NE(::lstat(path.c_str(), &st), 0);
}

}  // namespace
}  // namespace vigil::test
