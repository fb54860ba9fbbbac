// ParsePetValue must store exactly what sscanf "%x,%x,..." stores: compared against sscanf itself.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>

#include "agent/eventtables/event_table.h"
#include "support/test_name.h"

namespace vigil {
namespace {

struct Parsed {
  int count;
  PetRecord pet;
  bool operator==(const Parsed&) const = default;
};

// Both start from the same non-zero bytes, so bytes that must keep their values are checked too.
constexpr PetRecord kBefore = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};

Parsed WithSscanf(const std::string& text) {
  unsigned v[8];
  for (int i = 0; i < 8; ++i) v[i] = kBefore[i];
  int count = std::sscanf(text.c_str(), "%x,%x,%x,%x,%x,%x,%x,%x", &v[0], &v[1], &v[2], &v[3], &v[4],
                          &v[5], &v[6], &v[7]);
  Parsed p{count, {}};
  for (int i = 0; i < 8; ++i) p.pet[i] = static_cast<uint8_t>(v[i] & 0xFF);
  return p;
}

Parsed WithParsePetValue(const std::string& text) {
  Parsed p{0, kBefore};
  p.count = ParsePetValue(text.c_str(), &p.pet);
  return p;
}

std::string Show(const Parsed& p) {
  char out[64];
  std::snprintf(out, sizeof out, "%d: %02X %02X %02X %02X %02X %02X %02X %02X", p.count, p.pet[0], p.pet[1],
                p.pet[2], p.pet[3], p.pet[4], p.pet[5], p.pet[6], p.pet[7]);
  return out;
}

class PetLikeSscanf : public ::testing::TestWithParam<const char*> {};

// C leaves a %x beyond unsigned int undefined. glibc converts as strtoul on 64 bits, as the
// parser does; another C library is only a reference while every digit run fits 32 bits.
bool ReferenceDefined(const std::string& text) {
#ifdef __GLIBC__
  (void)text;
  return true;
#else
  std::size_t run = 0;
  for (char c : text) {
    run = std::isxdigit(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run > 8) return false;
  }
  return true;
#endif
}

TEST_P(PetLikeSscanf, SameCountAndBytes) {
  if (!ReferenceDefined(GetParam())) GTEST_SKIP() << "beyond 32 bits this C library's sscanf is no reference";
  const std::string text = GetParam();
  EXPECT_EQ(Show(WithParsePetValue(text)), Show(WithSscanf(text))) << "input \"" << text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    TrickyInputs, PetLikeSscanf,
    ::testing::Values(
        // The values of the event tables.
        "1,6f,3", "01,6F,01,03,00,01,00,00", "1,2,3,4,5,6,7,8,9", "1FF,2", "10,ffffffff",
        // White space: skipped before a number, never before a comma.
        " 1, 2,\t3,\n4", "\v\f\r1", "1 ,2", "1, ,2", "1,2 ", "  ", "", "1,",
        // Prefixes.
        "0x1f,0X2E", "0x", "0x,1", "0xg", "0x0x1", "00x1", "x1", "0X", "1,0x", "1,0xq",
        // Signs, as strtoul takes them.
        "-1", "+1", "-", "+", "+-1", "-+1", " -0x1f", "-0", "+0x", "- 1", "1,-2,+3",
        // Numbers too big for 32 or 64 bits.
        "1FFFFFFFFF", "fffffffffffffff0", "-fffffffffffffff0", "FFFFFFFFFFFFFFFF", "10000000000000000",
        "FFFFFFFFFFFFFFFFF", "-FFFFFFFFFFFFFFFFF", "000000000000000000000000000012",
        // Separators that are not commas, and other stray bytes.
        "1;2", "1.2", ",1", ",,", "g", "1g,2", "\x80", "1,\xff"),
    [](const auto& info) { return test::TestName(info.index, info.param); });

// Random short strings over the characters that matter.
TEST(PetLikeSscanfRandom, RandomStrings) {
  const std::string alphabet = "0123456789abcdefABCDEFxXgG+- ,,,\t\n.";
  std::mt19937 random(7);
  for (int round = 0; round < 100000; ++round) {
    std::string text(random() % 20, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    if (!ReferenceDefined(text)) continue;
    Parsed mine = WithParsePetValue(text);
    Parsed theirs = WithSscanf(text);
    ASSERT_EQ(Show(mine), Show(theirs)) << "input \"" << text << "\"";
  }
}

TEST(PetValue, NumbersKeepTheirLowByteAndMissingOnesKeepTheirValues) {
  PetRecord pet = {0, 0, 0, 0x44, 0x55, 0x66, 0x77, 0x88};
  EXPECT_EQ(ParsePetValue("1,6f,1FF", &pet), 3);
  EXPECT_EQ(pet, (PetRecord{0x01, 0x6F, 0xFF, 0x44, 0x55, 0x66, 0x77, 0x88}));
}

}  // namespace
}  // namespace vigil
