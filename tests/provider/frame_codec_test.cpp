// The device frames' headers on the wire: little-endian words in field order, whatever the
// host. Expected bytes are written out by hand.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "contract/device_frames.h"

namespace {

namespace frames = vigil::frames;
using Bytes = std::vector<uint8_t>;

struct FrameCase {
  const char* name;
  std::array<uint32_t, 4> words;
  Bytes bytes;
};

const FrameCase kFrames[] = {
    {"TableRead", {{frames::kRequestMagic, 0x80002004, 0, 8192}},
     {0x48, 0x47, 0x51, 0x31, 0x04, 0x20, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00}},
    {"SensorCommand", {{frames::kRequestMagic, 0x80002028, 4, 260}},
     {0x48, 0x47, 0x51, 0x31, 0x28, 0x20, 0x00, 0x80, 0x04, 0x00, 0x00, 0x00, 0x04, 0x01, 0x00, 0x00}},
    {"LogAnswer", {{frames::kResponseMagic, 1, 76, 0}},
     {0x48, 0x47, 0x53, 0x31, 0x01, 0x00, 0x00, 0x00, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"Refusal", {{frames::kResponseMagic, 0, 0, 0}},
     {0x48, 0x47, 0x53, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
};

class FrameCodec : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameCodec, EncodesAndDecodesTheWireBytes) {
  const FrameCase& c = GetParam();
  Bytes encoded(frames::kHeaderSize);
  if (c.words[0] == frames::kRequestMagic) {
    frames::EncodeRequest({c.words[0], c.words[1], c.words[2], c.words[3]}, encoded.data());
    const frames::RequestHeader d = frames::DecodeRequest(c.bytes.data());
    EXPECT_EQ((std::array<uint32_t, 4>{d.magic, d.code, d.inLength, d.outLength}), c.words);
  } else {
    frames::EncodeResponse({c.words[0], c.words[1], c.words[2], c.words[3]}, encoded.data());
    const frames::ResponseHeader d = frames::DecodeResponse(c.bytes.data());
    EXPECT_EQ((std::array<uint32_t, 4>{d.magic, d.success, d.returned, d.reserved}), c.words);
  }
  EXPECT_EQ(encoded, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Headers, FrameCodec, ::testing::ValuesIn(kFrames),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST(FrameChecks, RequestsAndResponsesOutsideTheLimitsBreakTheStream) {
  EXPECT_TRUE(frames::RequestAcceptable({frames::kRequestMagic, 0x80002028, 65536, 65536}));
  EXPECT_FALSE(frames::RequestAcceptable({frames::kRequestMagic, 0x80002028, 65537, 260}));
  EXPECT_FALSE(frames::RequestAcceptable({frames::kRequestMagic, 0x80002028, 4, 0xFFFFFFFF}));
  EXPECT_FALSE(frames::RequestAcceptable({frames::kResponseMagic, 0x80002028, 4, 260}));
  EXPECT_TRUE(frames::ResponseFits({frames::kResponseMagic, 1, 260, 0}, 260));
  EXPECT_FALSE(frames::ResponseFits({frames::kResponseMagic, 1, 261, 0}, 260));
  EXPECT_TRUE(frames::ResponseFits({frames::kResponseMagic, 0, 0xFFFFFFFF, 0}, 260));  // a refusal carries nothing
  EXPECT_FALSE(frames::ResponseFits({frames::kRequestMagic, 0, 0, 0}, 260));
}

}  // namespace
