// JSON string literals: the event log's lines and vigilctl's --json output share these rules.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "text/json_string.h"
#include "text/utf8_text.h"
#include "support/test_name.h"

namespace {

struct JsonCase {
  std::string in;
  std::string out;
};

class JsonStringTest : public ::testing::TestWithParam<JsonCase> {};

TEST_P(JsonStringTest, EscapesToValidJson) {
  EXPECT_EQ(vigil::text::JsonString(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonStringTest,
    ::testing::Values(JsonCase{"plain", "\"plain\""},
                      JsonCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                      JsonCase{"c:\\dir", "\"c:\\\\dir\""},
                      JsonCase{"a\nb\tc\r", "\"a\\nb\\tc\\r\""},
                      JsonCase{"\b\f", "\"\\b\\f\""},
                      JsonCase{std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
                      JsonCase{std::string("nul\0in", 6), "\"nul\\u0000in\""},
                      JsonCase{"caf\xc3\xa9", "\"caf\xc3\xa9\""},               // valid UTF-8
                      JsonCase{"\xe2\x82\xac 5", "\"\xe2\x82\xac 5\""},         // euro sign
                      JsonCase{"caf\xe9", "\"caf\\u00e9\""},                     // Latin-1 byte
                      JsonCase{"\xe2\x82", "\"\\u00e2\\u0082\""},                // cut short
                      JsonCase{"\xc0\x80", "\"\\u00c0\\u0080\""},                // overlong NUL
                      JsonCase{"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""}),
    [](const auto& info) { return vigil::test::TestName(info.index, info.param.in); });  // surrogate

// Whatever the bytes, the literal is valid UTF-8 with no raw control character and no
// unescaped quote inside: a JSON parser reads it back as one string.
TEST(JsonString, AnyBytesGiveOneValidLiteral) {
  std::mt19937 random(13);
  for (int round = 0; round < 2000; ++round) {
    std::string in(random() % 24, '\0');
    for (char& c : in) c = static_cast<char>(random());
    const std::string out = vigil::text::JsonString(in);
    ASSERT_GE(out.size(), 2u);
    ASSERT_EQ(out.front(), '"');
    ASSERT_EQ(out.back(), '"');
    for (std::size_t i = 1; i + 1 < out.size();) {
      const std::size_t length = vigil::text::Utf8SequenceLength(out, i);
      ASSERT_NE(length, 0u) << "invalid UTF-8 at " << i;
      const auto c = static_cast<unsigned char>(out[i]);
      ASSERT_FALSE(c < 0x20 || c == 0x7F) << "raw control byte at " << i;
      if (c == '\\') {
        ASSERT_LT(i + 2, out.size());
        ASSERT_NE(std::string("\"\\/bfnrtu").find(out[i + 1]), std::string::npos) << out;
        i += 2;
        continue;
      }
      ASSERT_NE(c, '"') << "unescaped quote at " << i;
      i += length;
    }
  }
}

}  // namespace
