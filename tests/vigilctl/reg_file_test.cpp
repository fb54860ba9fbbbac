// .reg text: what each line becomes, and that a bad line stops the whole file.
#include <gtest/gtest.h>

#include "os/os.h"
#include "reg_file.h"

namespace vigilctl {
namespace {

using Kind = RegOperation::Kind;
using namespace std::string_literals;
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::vector<uint8_t> Bytes(std::string_view s, bool nul = true) {
  std::vector<uint8_t> v(s.begin(), s.end());
  if (nul) v.push_back(0);
  return v;
}

TEST(RegFileTest, ParsesKeysValuesAndDeletions) {
  RegParseResult r = ParseRegFile(kHeader +
                                  "; event tables\r\n"
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NVX\\Params]\r\n"
                                  "\"Text\"=\"C:\\\\logs \\\"quoted\\\"\"\r\n"
                                  "\"Count\"=dword:0000000a\r\n"
                                  "@=\"default\"\r\n"
                                  "\"Gone\"=-\r\n"
                                  "\r\n"
                                  "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NVX\\Old]\r\n");
  ASSERT_EQ(r.errorLine, 0) << r.error;
  ASSERT_EQ(r.operations.size(), 6u);
  EXPECT_EQ(r.operations[0].kind, Kind::kCreateKey);
  EXPECT_EQ(r.operations[0].key, "SOFTWARE\\NVX\\Params");
  EXPECT_EQ(r.operations[1].kind, Kind::kSetValue);
  EXPECT_EQ(r.operations[1].name, "Text");
  EXPECT_EQ(r.operations[1].type, os::kRegSz);
  EXPECT_EQ(r.operations[1].data, Bytes("C:\\logs \"quoted\""));
  EXPECT_EQ(r.operations[1].key, "SOFTWARE\\NVX\\Params");
  EXPECT_EQ(r.operations[2].type, os::kRegDword);
  EXPECT_EQ(r.operations[2].data, (std::vector<uint8_t>{10, 0, 0, 0}));
  EXPECT_EQ(r.operations[3].name, "");
  EXPECT_EQ(r.operations[3].data, Bytes("default"));
  EXPECT_EQ(r.operations[4].kind, Kind::kDeleteValue);
  EXPECT_EQ(r.operations[4].name, "Gone");
  EXPECT_EQ(r.operations[5].kind, Kind::kDeleteKey);
  EXPECT_EQ(r.operations[5].key, "SOFTWARE\\NVX\\Old");
  EXPECT_EQ(r.operations[5].line, 10);
}

TEST(RegFileTest, DwordsAreLittleEndianAndShortFormsAllowed) {
  RegParseResult r = ParseRegFile(kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:FFFFFFFF\n\"b\"=dword:1\n\"c\"=dword:12345678\n");
  ASSERT_EQ(r.errorLine, 0) << r.error;
  EXPECT_EQ(r.operations[1].data, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(r.operations[2].data, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(r.operations[3].data, (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
}

TEST(RegFileTest, HexValuesMayContinueOverLines) {
  RegParseResult r = ParseRegFile(kHeader +
                                  "[HKEY_LOCAL_MACHINE\\K]\n"
                                  "\"bin\"=hex:01,02,\\\n"
                                  "  03,ff\n"
                                  "\"exp\"=hex(2):25,00\n"
                                  "\"empty\"=hex:\n"
                                  "\"after\"=dword:00000002\n");
  ASSERT_EQ(r.errorLine, 0) << r.error;
  ASSERT_EQ(r.operations.size(), 5u);
  EXPECT_EQ(r.operations[1].type, os::kRegBinary);
  EXPECT_EQ(r.operations[1].data, (std::vector<uint8_t>{1, 2, 3, 0xFF}));
  EXPECT_EQ(r.operations[2].type, os::kRegExpandSz);
  EXPECT_EQ(r.operations[2].data, (std::vector<uint8_t>{0x25, 0}));
  EXPECT_TRUE(r.operations[3].data.empty());
  EXPECT_EQ(r.operations[4].line, 8);  // physical line numbers count the continuation
}

TEST(RegFileTest, StringEndingInBackslashDoesNotSwallowTheNextLine) {
  RegParseResult r = ParseRegFile(kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"p\"=\"C:\\\\\"\n\"q\"=\"x\"\n");
  ASSERT_EQ(r.errorLine, 0) << r.error;
  ASSERT_EQ(r.operations.size(), 3u);
  EXPECT_EQ(r.operations[1].data, Bytes("C:\\"));
}

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

// ASCII text as UTF-16 code units, little-endian unless asked otherwise.
std::string Utf16(const std::string& ascii, bool bigEndian = false) {
  std::string out;
  for (char c : ascii) {
    out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return out;
}

TEST(RegFileTest, ReadsUtf16WithMarkAndUtf8WithMark) {
  const std::string body = kHeader + "[HKEY_LOCAL_MACHINE\\K]\r\n\"Name\"=\"Caf";
  const std::string utf16 = "\xFF\xFE" + Utf16(body) + "\xE9\x00\x3D\xD8\x00\xDE"s +
                            Utf16("\"\r\n");  // e-acute and U+1F600 as a surrogate pair
  const std::string utf8 = "\xEF\xBB\xBF" + body + "\xC3\xA9\xF0\x9F\x98\x80\"\n";
  for (const std::string& file : {utf16, utf8}) {
    RegParseResult r = ParseRegFile(file);
    ASSERT_EQ(r.errorLine, 0) << r.error;
    ASSERT_EQ(r.operations.size(), 2u);
    EXPECT_EQ(r.operations[1].name, "Name");
    EXPECT_EQ(r.operations[1].data, Bytes("Caf\xC3\xA9\xF0\x9F\x98\x80"));
  }
}

struct BadCase {
  const char* label;
  std::string text;
  int line;
};

class RegFileFaultTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(RegFileFaultTest, ReportsTheLineAndReturnsNothingToApply) {
  RegParseResult r = ParseRegFile(GetParam().text);
  EXPECT_EQ(r.errorLine, GetParam().line) << r.error;
  EXPECT_FALSE(r.error.empty());
  EXPECT_TRUE(r.operations.empty());
}

const std::string kKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\n\"ok\"=dword:1\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, RegFileFaultTest,
    ::testing::Values(
        BadCase{"empty", "", 1},
        BadCase{"no_header", "[HKEY_LOCAL_MACHINE\\K]\n", 1},
        BadCase{"regedit4", "REGEDIT4\n", 1},
        BadCase{"value_before_key", kHeader + "\"a\"=dword:1\n", 3},
        BadCase{"other_hive", kHeader + "[HKEY_CURRENT_USER\\K]\n", 3},
        BadCase{"bare_hive", kHeader + "[HKEY_LOCAL_MACHINE]\n", 3},
        BadCase{"unclosed_key", kHeader + "[HKEY_LOCAL_MACHINE\\K\n", 3},
        BadCase{"empty_key_part", kHeader + "[HKEY_LOCAL_MACHINE\\A\\\\B]\n", 3},
        BadCase{"bad_escape", kHeader + kKey + "\"a\"=\"x\\n\"\n", 5},
        BadCase{"unterminated", kHeader + kKey + "\"a\"=\"abc\n", 5},
        BadCase{"trailing_text", kHeader + kKey + "\"a\"=\"abc\" x\n", 5},
        BadCase{"no_equals", kHeader + kKey + "\"a\" dword:1\n", 5},
        BadCase{"dword_long", kHeader + kKey + "\"a\"=dword:123456789\n", 5},
        BadCase{"dword_empty", kHeader + kKey + "\"a\"=dword:\n", 5},
        BadCase{"dword_not_hex", kHeader + kKey + "\"a\"=dword:0000000g\n", 5},
        BadCase{"hex_odd", kHeader + kKey + "\"a\"=hex:1,02\n", 5},
        BadCase{"hex_type", kHeader + kKey + "\"a\"=hex(zz):01\n", 5},
        BadCase{"unknown_data", kHeader + kKey + "\"a\"=qword:1\n", 5},
        BadCase{"garbage", kHeader + kKey + "hello\n", 5},
        BadCase{"value_in_deleted_key", kHeader + "[-HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1\n", 4},
        BadCase{"nul_in_name", kHeader + kKey + "\"AB\0CD\"=dword:1\n"s, 5},
        BadCase{"nul_in_key", kHeader + "[HKEY_LOCAL_MACHINE\\A\0B]\n"s, 3},
        BadCase{"key_name_256", kHeader + "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n", 3},
        BadCase{"key_depth_513", kHeader + "[HKEY_LOCAL_MACHINE\\k" + Repeat("\\k", 512) + "]\n", 3},
        BadCase{"value_name_16384", kHeader + kKey + "\"" + std::string(16384, 'n') + "\"=dword:1\n", 5},
        BadCase{"data_over_1_MiB", kHeader + kKey + "\"a\"=hex:00" + Repeat(",00", 1 << 20) + "\n", 5},
        BadCase{"utf16_big_endian", "\xFE\xFF" + Utf16(kHeader, true), 1},
        BadCase{"utf16_odd_length", "\xFF\xFE" + Utf16(kHeader) + "x", 1},
        BadCase{"utf16_lone_surrogate", "\xFF\xFE" + Utf16(kHeader) + "\x00\xD8"s, 1},
        // The fault on the last line still rejects the good lines before it.
        BadCase{"last_line", kHeader + kKey + kKey + kKey + "\"a\"=dword:\n", 9}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.label); });

TEST(RegFileTest, FormatsValuesThatParseBackToTheSameBytes) {
  struct Value {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
    std::string line;
  };
  const Value values[] = {
      {"Text", os::kRegSz, Bytes("a\\b \"c\""), "\"Text\"=\"a\\\\b \\\"c\\\"\""},
      {"", os::kRegSz, Bytes("d"), "@=\"d\""},
      {"N", os::kRegDword, {0x0A, 0, 0, 0}, "\"N\"=dword:0000000a"},
      {"B", os::kRegBinary, {0x00, 0xFF}, "\"B\"=hex:00,ff"},
      {"E", os::kRegExpandSz, Bytes("%x%"), "\"E\"=hex(2):25,78,25,00"},
      // A string with a newline, or without its NUL, would not survive "..." form.
      {"Lines", os::kRegSz, Bytes("a\nb"), "\"Lines\"=hex(1):61,0a,62,00"},
      {"Raw", os::kRegSz, Bytes("ab", false), "\"Raw\"=hex(1):61,62"},
      {"Short", os::kRegDword, {1, 2}, "\"Short\"=hex(4):01,02"},
  };
  for (const Value& v : values) {
    SCOPED_TRACE(v.name);
    std::string line = FormatRegValue(v.name, v.type, v.data.data(), v.data.size());
    EXPECT_EQ(line, v.line);
    RegParseResult r = ParseRegFile(kHeader + "[HKEY_LOCAL_MACHINE\\K]\n" + line + "\n");
    ASSERT_EQ(r.errorLine, 0) << r.error;
    ASSERT_EQ(r.operations.size(), 2u);
    EXPECT_EQ(r.operations[1].name, v.name);
    EXPECT_EQ(r.operations[1].type, v.type);
    EXPECT_EQ(r.operations[1].data, v.data);
  }
}

}  // namespace
}  // namespace vigilctl
