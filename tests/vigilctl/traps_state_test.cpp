// The trap follower's configuration values, its state file and its way through the ring.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "traps_config.h"
#include "traps_cursor.h"

namespace vigilctl {
namespace {

TEST(TrapsConfig, Destinations) {
  struct Case {
    const char* text;
    bool ok;
    std::vector<std::pair<std::string, uint16_t>> parsed;
  } cases[] = {
      {"127.0.0.1:9162", true, {{"127.0.0.1", 9162}}},
      {"nms.example, [::1]:1162  host_b", true, {{"nms.example", 162}, {"::1", 1162}, {"host_b", 162}}},
      {"", true, {}},
      {"h:65535", true, {{"h", 65535}}},
      {"h:0", false, {}},
      {"h:65536", false, {}},
      {"h:", false, {}},
      {":162", false, {}},
      {"[::1", false, {}},
      {"[::1]162", false, {}},
      {"[fe80::1%eth0]:162", false, {}},
      {"h/x:162", false, {}},
      {"a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q", false, {}},  // 17
  };
  for (const Case& c : cases) {
    std::vector<TrapDestination> out;
    std::string error;
    ASSERT_EQ(ParseTrapDestinations(c.text, &out, &error), c.ok) << c.text;
    if (!c.ok) continue;
    std::vector<std::pair<std::string, uint16_t>> got;
    for (const TrapDestination& d : out) got.emplace_back(d.host, d.port);
    EXPECT_EQ(got, c.parsed) << c.text;
  }
}

TEST(TrapsCursor, StateFileIsExactlyWhatIsWritten) {
  const TrapCursor c{0xFFFF, 600, 599, 0x0123456789abcdefull};
  const std::string text = FormatTrapCursor(c);
  EXPECT_EQ(text, "vigilctl-traps-cursor 1 ffff 258 257 0123456789abcdef\n");
  TrapCursor back;
  ASSERT_TRUE(ParseTrapCursor(text, &back));
  EXPECT_EQ(FormatTrapCursor(back), text);
  const char* rejected[] = {
      "vigilctl-traps-cursor 1 ffff 258 257 0123456789abcdef",     // cut short
      "vigilctl-traps-cursor 1 ffff 259 257 0123456789abcdef\n",   // next slot past the ring
      "vigilctl-traps-cursor 1 ffff 258 258 0123456789abcdef\n",   // last slot past the ring
      "vigilctl-traps-cursor 1 10000 1 0 0\n",                     // count beyond 16 bits
      "vigilctl-traps-cursor 1 FF 1 0 0000000000000000\n",         // not as written: upper case,
      "vigilctl-traps-cursor 1 01 1 0 0000000000000000\n",         // a leading zero,
      "vigilctl-traps-cursor 1 1 1 0 012345\n",                    // a short digest
      "vigilctl-traps-cursor 1 1 1 0 0000000000000000 0\n",
      "vigilctl-traps-cursor 2 1 1 0 0\n",
      "",
  };
  for (const char* r : rejected) EXPECT_FALSE(ParseTrapCursor(r, &back)) << r;
}

TEST(TrapsCursor, PendingInformsKeepTheirBytes) {
  const TrapState state{{0x12, 0x12, 0x11, 0xfedcba9876543210ull},
                        {{"127.0.0.1:162", {0x0c6f01, {0x00, 0x0a, 0xc1}}}, {"[::1]:1162", {0, {0xff}}}}};
  const std::string text = FormatTrapState(state);
  EXPECT_EQ(text,
            "vigilctl-traps-cursor 1 12 12 11 fedcba9876543210\n"
            "inform 127.0.0.1:162 c6f01 000ac1\n"
            "inform [::1]:1162 0 ff\n");
  TrapState back;
  ASSERT_TRUE(ParseTrapState(text, &back));
  ASSERT_EQ(back.informs.size(), 2u);
  EXPECT_EQ(back.informs[0].destination, "127.0.0.1:162");
  EXPECT_EQ(back.informs[0].message.specificTrap, 0x0c6f01u);
  EXPECT_EQ(back.informs[0].message.petVarbind, (std::vector<uint8_t>{0x00, 0x0a, 0xc1}));
  EXPECT_EQ(FormatTrapState(back), text);
  const std::string cursor = "vigilctl-traps-cursor 1 12 12 11 fedcba9876543210\n";
  const std::string rejected[] = {
      cursor + "inform 127.0.0.1:162 c6f01 000ac1",        // cut short
      cursor + "inform 127.0.0.1:162 c6f01 000ac\n",      // odd digits
      cursor + "inform 127.0.0.1:162 c6f01 \n",           // no varbind
      cursor + "inform 127.0.0.1:162 0c6f01 00\n",        // not as written
      cursor + "inform 127.0.0.1:162 100000000 00\n",     // beyond 32 bits
      cursor + "inform  c6f01 00\n",                      // no destination
      cursor + "inform h:1 1 00 00\n",
      cursor + "trap h:1 1 00\n",
      cursor + "inform h:1 1 " + std::string(2 * kMaxPetVarbind + 2, 'a') + "\n",
  };
  for (const std::string& r : rejected) EXPECT_FALSE(ParseTrapState(r, &back)) << r;
}

TEST(TrapsCursor, PlanThroughTheRing) {
  struct Case {
    const char* what;
    TrapCursor cursor;
    RingCounters target;
    std::vector<std::size_t> slots;
    uint16_t firstNumber;
    uint32_t overwritten;
  } cases[] = {
      {"nothing new", {5, 5, 4, 0}, {5, 5}, {}, 0, 0},
      {"three more", {10, 10, 9, 0}, {13, 13}, {10, 11, 12}, 11, 0},
      {"across the end of the ring", {598, 598, 597, 0}, {2, 602}, {598, 599, 0, 1}, 599, 0},
      {"cleared log: slot 0 again", {7, 7, 6, 0}, {2, 9}, {0, 1}, 8, 0},
      {"new run, count went back", {20, 20, 19, 0}, {3, 3}, {0, 1, 2}, 1, 0},
  };
  for (const Case& c : cases) {
    const RingPlan plan = PlanRing(c.cursor, c.target, true);
    std::vector<std::size_t> slots;
    for (const RingItem& item : plan.items) slots.push_back(item.slot);
    EXPECT_EQ(slots, c.slots) << c.what;
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
      EXPECT_EQ(plan.items[i].appendNumber, uint16_t(c.firstNumber + i)) << c.what;
    }
    EXPECT_EQ(plan.overwritten, c.overwritten) << c.what;
  }
  // Overrun: 690 appended since the cursor, the ring keeps the newest 600, 90 are gone.
  const RingPlan overrun = PlanRing({10, 10, 9, 0}, {100, 700}, false);
  ASSERT_EQ(overrun.items.size(), 600u);
  EXPECT_EQ(overrun.items.front().slot, 100u);
  EXPECT_EQ(overrun.items.front().appendNumber, 101);
  EXPECT_EQ(overrun.items.back().slot, 99u);
  EXPECT_EQ(overrun.overwritten, 90u);
  EXPECT_TRUE(overrun.restarted);
}

}  // namespace
}  // namespace vigilctl
