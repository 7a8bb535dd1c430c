#include "testsupport/FakeAnalyser.h"

#include <gtest/gtest.h>

namespace {

class ZarnPort : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_port.SetCommPort(), 1); }
    CFakeLine m_fake;
    CTestZarnPort m_port;
};

TEST_F(ZarnPort, ConstructorSetsTheProtocolTimeouts) {
    EXPECT_EQ(m_port.GetTxTimeout(), 1000u);
    EXPECT_EQ(m_port.GetRxTimeout(), 1200u);
    EXPECT_EQ(CSerialPort::ReadTimeouts().ReadTotalTimeoutConstant, 1200u);
    EXPECT_EQ(m_port.GetMaxNodeID(), 256);
}

TEST_F(ZarnPort, PresenceTestSendsTheWorkedPacketAndNeedsAnAcknowledge) {
    m_fake.Answer(Reply(1, ZARN_ACK, 0));
    EXPECT_EQ(m_port.RequestACK(1), 1);
    EXPECT_EQ(m_fake.Requests().at(0), (Bytes{0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02, 0x02}));
    // The buffers are purged before each request, and no modem line is touched.
    auto events = m_fake.m_line->Events();
    auto purge = m_fake.m_line->EventsOf(CScriptedLine::Event::kPurge);
    ASSERT_FALSE(purge.empty());
    EXPECT_EQ(purge[0].nValue, lintaro::PURGE_TXCLEAR | lintaro::PURGE_RXCLEAR);
    EXPECT_TRUE(m_fake.m_line->EventsOf(CScriptedLine::Event::kEscape).empty());

    // A silent node fails after one read time-out for the reply.
    m_fake.Silence();
    std::uint32_t start = m_fake.m_clock.TickCount();
    EXPECT_EQ(m_port.RequestACK(1), 0);
    EXPECT_EQ(m_fake.m_clock.TickCount() - start, 1200u);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::noReply);

    // A valid reply with another code is no acknowledge.
    m_fake.Answer(Reply(1, 0x81, 0));
    EXPECT_EQ(m_port.RequestACK(1), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::unexpectedCode);
}

TEST_F(ZarnPort, NodeLimitRefusesWithoutTouchingTheLine) {
    m_port.SetMaxNodeID(20);
    EXPECT_EQ(m_port.TransmitPacket(1, 21, 0, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::nodeRefused);
    EXPECT_TRUE(m_fake.Requests().empty());
    EXPECT_TRUE(m_fake.m_line->EventsOf(CScriptedLine::Event::kPurge).empty());
    EXPECT_EQ(m_port.TransmitPacket(1, 20, 0, 0), 1);
    EXPECT_EQ(m_port.TransmitPacket(1, 0, 0, 0), 1);
    m_port.SetMaxNodeID(256);
    EXPECT_EQ(m_port.TransmitPacket(1, 255, 0, 0), 1);
    EXPECT_EQ(m_fake.Requests().size(), 3u);
    EXPECT_EQ(m_fake.Request(2).dest, 255);
}

TEST_F(ZarnPort, EchoMustMatchEveryByte) {
    m_fake.m_nCorruptEchoes = 1;
    m_fake.Answer(Reply(1, ZARN_ACK, 0));
    EXPECT_EQ(m_port.RequestACK(1), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::echoDiffers);

    // The analyser's late reply to the spoilt request is purged before the next one.
    m_fake.m_clock.Advance(10);
    EXPECT_EQ(m_fake.m_line->PendingInput(), 8u);
    m_fake.m_bEcho = false;
    EXPECT_EQ(m_port.TransmitPacket(1, 1, 0, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::noEcho);

    // Half an echo is not an echo, whatever the buffer held before.
    m_fake.m_line->SetResponder(
        [](CScriptedLine& line, const Bytes& w) { line.Feed(Bytes(w.begin(), w.begin() + 4)); });
    EXPECT_EQ(m_port.TransmitPacket(1, 1, 0, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::echoDiffers);

    // A closed port fails the write.
    CTestZarnPort closed;
    EXPECT_EQ(closed.RequestACK(1), 0);
    EXPECT_EQ(closed.GetLastError(), ZarnError::portClosed);
}

TEST_F(ZarnPort, AnEchoThatIsAnotherValidRequestNamesWhatTheLineCarried) {
    // "ping node 6" with bit 2 flipped in bytes 1 and 2 is a valid "reset batch buffer" for
    // node 2, which that analyser obeys.
    Bytes change;
    m_fake.m_line->SetResponder([&change](CScriptedLine& line, const Bytes& written) {
        Bytes echo = written;
        for (std::size_t i = 0; i < change.size(); ++i) {
            echo[i] ^= change[i];
        }
        line.Feed(echo);
    });
    change = {0, 0x04, 0x04};
    EXPECT_EQ(m_port.RequestACK(6), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::otherRequest);
    ASSERT_TRUE(m_port.GetCarriedRequest().has_value());
    const CZarnRequest carried = *m_port.GetCarriedRequest();
    EXPECT_EQ(carried.m_nNodeID, 2);
    EXPECT_EQ(carried.m_nCode, 5);
    EXPECT_TRUE(carried.ChangesAnalyser());
    EXPECT_EQ(m_port.GetLastErrorText(),
              "the line carried another request in place of this one: reset batch buffer for "
              "node 2");

    // The bits that turn one packet into another.
    auto turn = [&change](const COAXNWKPACKET& sent, const COAXNWKPACKET& heard) {
        change.clear();
        for (std::size_t i = 0; i < 8; ++i) {
            change.push_back(BytesOf(sent)[i] ^ BytesOf(heard)[i]);
        }
    };
    // A set may become a set of another node to another value.
    turn(MakeZarnPacket(5, 0x43, 0, 150), MakeZarnPacket(4, 0x43, 0, 158));
    EXPECT_EQ(m_port.SetBLO(5, 150), 0);
    EXPECT_EQ(m_port.GetLastErrorText(),
              "the line carried another request in place of this one: set BLO for node 4 to 158");

    // Echoes that no analyser would take for a request are merely different: damaged checks,
    // a packet addressed to the controller, another start byte. Each request forgets the last.
    for (Bytes c :
         {Bytes{0, 0, 0, 0, 0, 0x01}, Bytes{0, 0x06, 0x01, 0, 0, 0, 0x07, 0x76}, Bytes{0x01}}) {
        change = c;
        EXPECT_EQ(m_port.RequestACK(6), 0);
        EXPECT_EQ(m_port.GetLastError(), ZarnError::echoDiffers);
        EXPECT_FALSE(m_port.GetCarriedRequest().has_value());
        EXPECT_EQ(m_port.GetLastErrorText(), "the echo differs from the request");
    }
    // A reading the line turned into another reading needs no warning.
    turn(MakeZarnPacket(5, 0x42, 0, 0), MakeZarnPacket(5, 0x44, 0, 0));
    EXPECT_EQ(m_port.GetBLO(5, nullptr), 0);
    ASSERT_TRUE(m_port.GetCarriedRequest().has_value());
    EXPECT_FALSE(m_port.GetCarriedRequest()->ChangesAnalyser());
    EXPECT_EQ(m_port.GetCarriedRequest()->Describe(), "read T factor for node 5");
}

TEST(ZarnRequest, OnlyResetsNewReferencesAndSetsChangeAnAnalyser) {
    for (int code = 0; code < 256; ++code) {
        const bool changes = code == 5 || code == 7 || code == 19 || code == 67 || code == 69 ||
                             code == 71 || code == 73;
        EXPECT_EQ(CZarnRequest::CodeChangesAnalyser(static_cast<unsigned char>(code)), changes)
            << code;
    }
    EXPECT_EQ(CZarnRequest::Name(7), "new reference");
    EXPECT_EQ(CZarnRequest::Name(19), "set teach cycles");
    EXPECT_EQ(CZarnRequest::Name(200), "unknown request 200");
}

TEST_F(ZarnPort, ValidationChecksBothCheckBytesAndBothAddresses) {
    COAXNWKPACKET good = Reply(5, 0x42, 77);
    EXPECT_EQ(m_port.ValidatePacket(&good, 5, 0), 1);
    COAXNWKPACKET startByte = good;
    startByte.start = 0x00; // never examined
    EXPECT_EQ(m_port.ValidatePacket(&startByte, 5, 0), 1);

    COAXNWKPACKET otherNode = Reply(4, 0x42, 77);
    EXPECT_EQ(m_port.ValidatePacket(&otherNode, 5, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::wrongSource);

    COAXNWKPACKET notForUs = MakeZarnPacket(3, 0x42, 5, 77);
    EXPECT_EQ(m_port.ValidatePacket(&notForUs, 5, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::wrongDestination);

    COAXNWKPACKET badLrc = good;
    badLrc.lrc ^= 0x10;
    EXPECT_EQ(m_port.ValidatePacket(&badLrc, 5, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::badRotatingCheck);

    COAXNWKPACKET badSum = good;
    badSum.data_lo ^= 0x01;
    EXPECT_EQ(m_port.ValidatePacket(&badSum, 5, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::badChecksum);

    // Two bytes swapped keep the sum but not the rotating check.
    COAXNWKPACKET swapped = MakeZarnPacket(0, 0x42, 5, 0x0102);
    std::swap(swapped.data_lo, swapped.data_hi);
    EXPECT_EQ(m_port.ValidatePacket(&swapped, 5, 0), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::badRotatingCheck);
}

TEST_F(ZarnPort, ReceivedReplyStartByteIsIgnoredButAShortReplyIsRejected) {
    COAXNWKPACKET odd = Reply(7, ZARN_ACK, 0);
    odd.start = 0x55;
    m_fake.Answer(odd);
    EXPECT_EQ(m_port.RequestACK(7), 1);

    Bytes shortReply = BytesOf(Reply(7, ZARN_ACK, 0));
    shortReply.resize(6);
    m_fake.Answer(shortReply);
    EXPECT_EQ(m_port.RequestACK(7), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::shortReply);
}

TEST_F(ZarnPort, ParameterReadRetriesOnceAfterABadReply) {
    COAXNWKPACKET damaged = Reply(9, 0x42, 11);
    damaged.csum ^= 0xFF;
    m_fake.Answer(damaged);
    m_fake.Answer(Reply(9, 0x13, 77)); // any code is taken
    unsigned short blo = 0;
    EXPECT_EQ(m_port.GetBLO(9, &blo), 1);
    EXPECT_EQ(blo, 77);
    ASSERT_EQ(m_fake.Requests().size(), 2u);
    EXPECT_EQ(m_fake.Request(0).code, 66);
    EXPECT_EQ(m_fake.Request(1).code, 66);

    // Two bad replies: two attempts, then failure with the output untouched.
    m_fake.Silence();
    m_fake.Answer(Reply(8, 0x42, 1));
    blo = 4321;
    EXPECT_EQ(m_port.GetBLO(9, &blo), 0);
    EXPECT_EQ(blo, 4321);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::wrongSource);
    EXPECT_EQ(m_fake.Requests().size(), 4u);

    // A failed transmission is never retried.
    m_fake.m_nCorruptEchoes = 1;
    m_fake.Answer(Reply(9, 0x42, 5));
    EXPECT_EQ(m_port.GetBLO(9, &blo), 0);
    EXPECT_EQ(m_fake.Requests().size(), 5u);
}

TEST_F(ZarnPort, EachGetterAndSetterUsesItsCode) {
    struct Getter {
        int (CZarnPort::*get)(unsigned int, unsigned short*);
        unsigned char code;
    };
    for (Getter g : {Getter{&CZarnPort::GetBLO, 66}, Getter{&CZarnPort::GetTFactor, 68},
                     Getter{&CZarnPort::GetDFactor, 70}, Getter{&CZarnPort::GetSFactor, 72}}) {
        m_fake.Answer(Reply(3, g.code, 0xBEEF));
        unsigned short v = 0;
        EXPECT_EQ((m_port.*g.get)(3, &v), 1);
        EXPECT_EQ(v, 0xBEEF);
        EXPECT_EQ(m_fake.Request(m_fake.Requests().size() - 1).code, g.code);
    }
    struct Setter {
        int (CZarnPort::*set)(unsigned int, unsigned short);
        unsigned char code;
    };
    for (Setter s : {Setter{&CZarnPort::SetBLO, 67}, Setter{&CZarnPort::SetTFactor, 69},
                     Setter{&CZarnPort::SetDFactor, 71}, Setter{&CZarnPort::SetSFactor, 73},
                     Setter{&CZarnPort::SetTeachCycles, 19}}) {
        m_fake.Answer(Reply(3, ZARN_ACK, 0));
        EXPECT_EQ((m_port.*s.set)(3, 0x0A0B), 1);
        COAXNWKPACKET req = m_fake.Request(m_fake.Requests().size() - 1);
        EXPECT_EQ(req.code, s.code);
        EXPECT_EQ(req.data_lo, 0x0B);
        EXPECT_EQ(req.data_hi, 0x0A);
    }
    // A setter is not retried and needs the acknowledge code.
    m_fake.Answer(Reply(3, 0x45, 0));
    std::size_t before = m_fake.Requests().size();
    EXPECT_EQ(m_port.SetBLO(3, 1), 0);
    EXPECT_EQ(m_fake.Requests().size(), before + 1);

    // The node argument goes out as its low byte.
    m_fake.Answer(Reply(5, ZARN_ACK, 0));
    EXPECT_EQ(m_port.ResetBatchBuffer(0x105), 1);
    EXPECT_EQ(m_fake.Request(m_fake.Requests().size() - 1).dest, 5);
    EXPECT_EQ(m_fake.Request(m_fake.Requests().size() - 1).code, 5);
    m_fake.Answer(Reply(5, ZARN_ACK, 0));
    EXPECT_EQ(m_port.NewReference(5), 1);
    EXPECT_EQ(m_fake.Request(m_fake.Requests().size() - 1).code, 7);
}

TEST_F(ZarnPort, WorkedSetRequestsGoOutByteForByte) {
    m_fake.Answer(Reply(5, ZARN_ACK, 0));
    EXPECT_EQ(m_port.SetBLO(5, 150), 1);
    EXPECT_EQ(m_fake.Requests().back(), (Bytes{0xFF, 0x05, 0x43, 0x00, 0x96, 0x00, 0xDE, 0xE0}));
    m_fake.Answer(Reply(200, ZARN_ACK, 0));
    EXPECT_EQ(m_port.SetTFactor(200, 0x1234), 1);
    EXPECT_EQ(m_fake.Requests().back(), (Bytes{0xFF, 0xC8, 0x45, 0x00, 0x34, 0x12, 0x53, 0x7F}));
    m_fake.Answer(Reply(199, ZARN_ACK, 0));
    EXPECT_EQ(m_port.SetTFactor(200, 0x1234), 0);

    m_fake.Answer(Bytes{0xFF, 0x00, 0x1D, 0x0C, 0xD2, 0x04, 0xFF, 0x0D});
    int peak = 0;
    EXPECT_EQ(m_port.GetPeakForce(12, &peak), 1);
    EXPECT_EQ(peak, 1234);
    m_fake.Answer(Reply(12, 0x1D, 0xFFFF));
    EXPECT_EQ(m_port.GetPeakForce(12, &peak), 1);
    EXPECT_EQ(peak, 65535);
}

TEST_F(ZarnPort, ResultInfoKeepsSignsAndLimitsTheLastValue) {
    auto run = [&](std::uint16_t ruo) {
        std::uint16_t values[8] = {0xFFFE, 2, 0x8000, 4, 5, 0xFFFF, 7, ruo};
        for (unsigned i = 0; i < 8; ++i) {
            m_fake.Answer(Reply(4, static_cast<unsigned char>(55 + i), values[i]));
        }
        short rs[4] = {};
        unsigned short ru[4] = {};
        EXPECT_EQ(
            m_port.GetResultInfo(4, &rs[0], &rs[1], &rs[2], &rs[3], &ru[0], &ru[1], &ru[2], &ru[3]),
            1);
        EXPECT_EQ(rs[0], -2);
        EXPECT_EQ(rs[2], -32768);
        EXPECT_EQ(ru[1], 65535);
        return ru[3];
    };
    EXPECT_EQ(run(1500), 999);
    EXPECT_EQ(run(999), 999);
    EXPECT_EQ(run(998), 998);
    for (unsigned i = 0; i < 8; ++i) {
        EXPECT_EQ(m_fake.Request(i).code, 55 + i);
    }
}

TEST_F(ZarnPort, ZoneInfoStopsAtTheFirstFailure) {
    m_fake.Answer(Reply(2, 50, 10));
    m_fake.Answer(Reply(2, 51, 65000));
    m_fake.Silence();
    m_fake.Silence(); // the retry
    int z[5] = {-1, -1, -1, -1, -1};
    EXPECT_EQ(m_port.GetZoneInfo(2, &z[0], &z[1], &z[2], &z[3], &z[4]), 0);
    EXPECT_EQ(z[0], 10);
    EXPECT_EQ(z[1], 65000);
    EXPECT_EQ(z[2], -1);
    EXPECT_EQ(z[4], -1);
    EXPECT_EQ(m_fake.Requests().size(), 4u);
    EXPECT_EQ(m_fake.Request(2).code, 52);
}

TEST_F(ZarnPort, PassAndFailCountsComeInEitherOrder) {
    unsigned int pass = 1, fail = 1;
    m_fake.Answer(std::vector<COAXNWKPACKET>{Reply(6, ZARN_FAIL_COUNT, 10),
                                             Reply(6, ZARN_PASS_COUNT, 60000)});
    EXPECT_EQ(m_port.GetPassFailCount(6, &pass, &fail), 1);
    EXPECT_EQ(pass, 60000u);
    EXPECT_EQ(fail, 10u);
    EXPECT_EQ(m_fake.Request(0).code, 6);

    pass = fail = 0;
    m_fake.Answer(
        std::vector<COAXNWKPACKET>{Reply(6, ZARN_PASS_COUNT, 3), Reply(6, ZARN_PASS_COUNT, 4)});
    EXPECT_EQ(m_port.GetPassFailCount(6, &pass, &fail), 1);
    EXPECT_EQ(pass, 4u);
    EXPECT_EQ(fail, 0u);

    m_fake.Answer(std::vector<COAXNWKPACKET>{Reply(6, ZARN_ACK, 3), Reply(6, ZARN_PASS_COUNT, 4)});
    EXPECT_EQ(m_port.GetPassFailCount(6, &pass, &fail), 0);
    EXPECT_EQ(m_port.GetLastError(), ZarnError::unexpectedCode);

    // The second reply missing: failure, the first count kept.
    m_fake.Answer(std::vector<COAXNWKPACKET>{Reply(6, ZARN_FAIL_COUNT, 99)});
    EXPECT_EQ(m_port.GetPassFailCount(6, &pass, &fail), 0);
    EXPECT_EQ(fail, 99u);
}

TEST_F(ZarnPort, AVanishedDeviceFailsRequestsCleanly) {
    m_fake.Answer(Reply(1, ZARN_ACK, 0));
    EXPECT_EQ(m_port.RequestACK(1), 1);
    m_fake.m_line->Vanish();
    unsigned short v;
    EXPECT_EQ(m_port.GetBLO(1, &v), 0);
    // The reason names the device, not the exchange it broke.
    EXPECT_EQ(m_port.GetLastError(), ZarnError::lineLost);
    EXPECT_TRUE(m_port.IsLineLost());
    EXPECT_EQ(m_port.RequestACK(1), 0);
}

} // namespace
