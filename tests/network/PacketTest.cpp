#include "testsupport/FakeAnalyser.h"

#include <gtest/gtest.h>

namespace {

TEST(Packet, WorkedPacketsByteForByte) {
    EXPECT_EQ(BytesOf(MakeZarnPacket(1, 1, 0, 0)),
              (Bytes{0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02, 0x02}));
    EXPECT_EQ(BytesOf(Reply(1, 0x80, 0)), (Bytes{0xFF, 0x00, 0x80, 0x01, 0x00, 0x00, 0x81, 0x81}));
    EXPECT_EQ(BytesOf(MakeZarnPacket(5, 0x43, 0, 150)),
              (Bytes{0xFF, 0x05, 0x43, 0x00, 0x96, 0x00, 0xDE, 0xE0}));
    EXPECT_EQ(BytesOf(Reply(5, 0x80, 0)), (Bytes{0xFF, 0x00, 0x80, 0x05, 0x00, 0x00, 0x85, 0xA5}));
    EXPECT_EQ(BytesOf(Reply(12, 0x1D, 1234)),
              (Bytes{0xFF, 0x00, 0x1D, 0x0C, 0xD2, 0x04, 0xFF, 0x0D}));
    EXPECT_EQ(BytesOf(Reply(3, 0x84, 500)),
              (Bytes{0xFF, 0x00, 0x84, 0x03, 0xF4, 0x01, 0x7C, 0xFD}));
    EXPECT_EQ(BytesOf(MakeZarnPacket(200, 0x45, 0, 0x1234)),
              (Bytes{0xFF, 0xC8, 0x45, 0x00, 0x34, 0x12, 0x53, 0x7F}));
}

TEST(Packet, ChecksWrapAndRotate) {
    // The checksum wraps modulo 256 and the rotation carries bit 7 round to bit 0.
    COAXNWKPACKET p = MakeZarnPacket(0xFF, 0xFF, 0xFF, 0xFFFF);
    EXPECT_EQ(p.csum, static_cast<unsigned char>(5 * 0xFF));
    COAXNWKPACKET q{0, 0x80, 0x00, 0, 0, 0, 0, 0};
    q.csum = ZarnChecksum(q);
    EXPECT_EQ(q.csum, 0x80);
    // r = rotl(0x80) = 0x01, then rotl three more times = 0x08, xor csum 0x80.
    EXPECT_EQ(ZarnRotatingCheck(q), 0x88);
    EXPECT_STRNE(ZarnErrorText(ZarnError::capacityExceeded), ZarnErrorText(ZarnError::noReply));
}

} // namespace
