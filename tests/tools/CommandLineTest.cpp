#include "tools/zarnctl/CommandLine.h"
#include "records/JsonWriter.h"
#include "records/TextFormat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

CCommandLine Parsed(const std::vector<std::string>& args) {
    CCommandLine cmd;
    EXPECT_EQ(cmd.Parse(args), 1) << cmd.GetError();
    return cmd;
}

std::string ParseError(const std::vector<std::string>& args) {
    CCommandLine cmd;
    EXPECT_EQ(cmd.Parse(args), 0);
    return cmd.GetError();
}

} // namespace

TEST(CommandLine, OptionsMayStandAnywhereAndTakeBothForms) {
    CCommandLine a = Parsed({"get", "5", "--json", "BLO", "--port", "/dev/ttyUSB0"});
    EXPECT_EQ(a.m_command, ZarnctlCommand::get);
    EXPECT_EQ(a.m_strPort, "/dev/ttyUSB0");
    EXPECT_TRUE(a.m_bJson);
    EXPECT_EQ(a.m_nodes, std::vector<unsigned>{5});
    EXPECT_EQ(a.m_strWhat, "blo");

    CCommandLine b = Parsed({"--port=COM3", "--yes", "curve", "0x1F", "--reference"});
    EXPECT_EQ(b.m_strPort, "COM3");
    EXPECT_TRUE(b.m_bYes);
    EXPECT_TRUE(b.m_bReference);
    EXPECT_EQ(b.m_nodes, std::vector<unsigned>{31});

    CCommandLine c = Parsed({"scan"});
    EXPECT_EQ(c.m_strPort, "COM1");
    EXPECT_EQ(c.m_nFirst, 1u);
    EXPECT_EQ(c.m_nLast, 254u);
    EXPECT_EQ(Parsed({"scan", "7"}).m_nLast, 7u);
    EXPECT_EQ(Parsed({"scan", "0-255"}).m_nFirst, 0u);
    EXPECT_EQ(c.m_nTimeoutMs, 1200u);
    EXPECT_EQ(Parsed({"scan", "--timeout", "50"}).m_nTimeoutMs, 50u);
    EXPECT_EQ(Parsed({"--timeout=60000", "scan", "1-9"}).m_nTimeoutMs, 60000u);
    EXPECT_EQ(Parsed({"--port", "rfc2217://[::1]:2217", "ping", "1"}).m_strPort,
              "rfc2217://[::1]:2217");

    EXPECT_EQ(Parsed({"set", "255", "teach", "65535"}).m_nValue, 65535u);
    EXPECT_EQ(Parsed({"stats", "1", "2", "1"}).m_nodes, (std::vector<unsigned>{1, 2, 1}));
    EXPECT_EQ(Parsed({"ping", "3", "--help"}).m_command, ZarnctlCommand::help);
}

TEST(CommandLine, RejectsWhatItCannotCarryOut) {
    EXPECT_NE(ParseError({}).find("no command"), std::string::npos);
    EXPECT_NE(ParseError({"pong", "5"}).find("unknown command 'pong'"), std::string::npos);
    EXPECT_NE(ParseError({"--verbose", "ping", "5"}).find("unknown option"), std::string::npos);
    EXPECT_NE(ParseError({"ping", "5", "--port"}).find("needs a port name"), std::string::npos);
    // A negative number is a bad node ID, not an option.
    EXPECT_NE(ParseError({"ping", "-1"}).find("bad node ID '-1'"), std::string::npos);
    EXPECT_NE(ParseError({"ping", "256"}).find("bad node ID"), std::string::npos);
    EXPECT_NE(ParseError({"ping"}).find("at least one node"), std::string::npos);
    EXPECT_NE(ParseError({"get", "5"}).find("missing"), std::string::npos);
    EXPECT_NE(ParseError({"get", "5", "teach"}).find("unknown value"), std::string::npos);
    EXPECT_NE(ParseError({"set", "5", "peak", "1"}).find("unknown value"), std::string::npos);
    EXPECT_NE(ParseError({"set", "5", "blo", "65536"}).find("0 to 65535"), std::string::npos);
    EXPECT_NE(ParseError({"set", "5", "blo", "-3"}).find("0 to 65535"), std::string::npos);
    EXPECT_NE(ParseError({"reset", "5", "6"}).find("unexpected argument '6'"), std::string::npos);
    EXPECT_NE(ParseError({"scan", "10-5"}).find("bad range"), std::string::npos);
    EXPECT_NE(ParseError({"scan", "1-256"}).find("bad range"), std::string::npos);
    EXPECT_NE(ParseError({"scan", "1-"}).find("bad range"), std::string::npos);
    EXPECT_NE(ParseError({"batch", "5", "--reference"}).find("only with curve"), std::string::npos);
    EXPECT_NE(ParseError({"ping", "5", "--timeout", "50"}).find("only with scan"),
              std::string::npos);
    for (const char* bad : {"0", "60001", "-5", "fast"}) {
        EXPECT_NE(ParseError({"scan", "--timeout", bad}).find("1 to 60000"), std::string::npos)
            << bad;
    }
    EXPECT_NE(ParseError({"scan", "--timeout"}).find("needs milliseconds"), std::string::npos);
}

TEST(CommandLine, NumbersAreWholeAndInRange) {
    unsigned long v = 99;
    EXPECT_EQ(CCommandLine::ParseNumber("255", 255, v), 1);
    EXPECT_EQ(v, 255u);
    EXPECT_EQ(CCommandLine::ParseNumber("0xff", 255, v), 1);
    EXPECT_EQ(v, 255u);
    EXPECT_EQ(CCommandLine::ParseNumber("007", 255, v), 1);
    EXPECT_EQ(v, 7u);
    v = 99;
    for (const char* bad : {"256", "", "0x", "12a", "+5", " 5", "5 ", "1.5", "0x100",
                            "99999999999999999999999", "0xFFFFFFFFFFFFFFFFFF"}) {
        EXPECT_EQ(CCommandLine::ParseNumber(bad, 255, v), 0) << bad;
    }
    EXPECT_EQ(v, 99u);
}

TEST(JsonWriter, PlacesSeparatorsInNestedContainers) {
    CJsonWriter json;
    json.BeginObject().Key("a").BeginArray().Int(1).Int(-2);
    json.BeginObject().Key("b").Bool(true).EndObject();
    json.BeginArray().EndArray().EndArray();
    json.Key("c").Null().Key("d").String("x").Key("e").OneDecimal(2.5).EndObject();
    EXPECT_EQ(json.GetText(), R"({"a":[1,-2,{"b":true},[]],"c":null,"d":"x","e":2.5})");
}

TEST(JsonWriter, QuotesAnyTextIntoValidJson) {
    EXPECT_EQ(CJsonWriter::Quote("say \"hi\"\\"), R"("say \"hi\"\\")");
    EXPECT_EQ(CJsonWriter::Quote("a\nb\tc\r\b\f"), R"("a\nb\tc\r\b\f")");
    EXPECT_EQ(CJsonWriter::Quote(std::string("\x01\x1f\x7f", 3)), R"("\u0001\u001f\u007f")");
    EXPECT_EQ(CJsonWriter::Quote(std::string("nul\0x", 5)), R"("nul\u0000x")");
    // Valid UTF-8 passes through; anything else becomes U+FFFD, byte by byte.
    EXPECT_EQ(CJsonWriter::Quote("Kraftmessger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x94\xA7"),
              "\"Kraftmessger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x94\xA7\"");
    EXPECT_EQ(CJsonWriter::Quote("\xE4t"), R"("\ufffdt")");                   // Latin-1 byte
    EXPECT_EQ(CJsonWriter::Quote("\xC0\xAF"), R"("\ufffd\ufffd")");           // overlong '/'
    EXPECT_EQ(CJsonWriter::Quote("\xED\xA0\x80"), R"("\ufffd\ufffd\ufffd")"); // surrogate
    EXPECT_EQ(CJsonWriter::Quote("ab\xE2\x82"), R"("ab\ufffd\ufffd")");       // cut short
    EXPECT_EQ(CJsonWriter::Quote("\xF4\x90\x80\x80"), R"("\ufffd\ufffd\ufffd\ufffd")");
}

TEST(TextFormat, TenthsAndPercentagesAsTheAnalyserMeansThem) {
    // The library scales tenths with the single-precision 0.1.
    EXPECT_EQ(FormatOneDecimal(123 * 0.1f), "12.3");
    EXPECT_EQ(FormatOneDecimal(-5 * 0.1f), "-0.5");
    EXPECT_EQ(FormatOneDecimal(32767 * 0.1f), "3276.7");
    EXPECT_EQ(FormatOneDecimal(-32768 * 0.1f), "-3276.8");
    EXPECT_EQ(FormatOneDecimal(0.0), "0.0");
    EXPECT_EQ(FormatOneDecimal(-0.01), "0.0");
    EXPECT_EQ(FormatOneDecimal(12.34), "12.3");
    EXPECT_EQ(FormatOneDecimal(NAN), "nan");
    CJsonWriter json;
    json.BeginArray().OneDecimal(INFINITY).OneDecimal(2.0f).EndArray();
    EXPECT_EQ(json.GetText(), "[null,2.0]");

    EXPECT_EQ(FormatPercent(90, 100), "90.0%");
    EXPECT_EQ(FormatPercent(1, 3), "33.3%");
    EXPECT_EQ(FormatPercent(0, 0), "0.0%");
    EXPECT_EQ(FormatPercent(0, 7), "0.0%");
    EXPECT_EQ(FormatPercent(65535, 65535), "100.0%");

    EXPECT_EQ(FormatHundredths(150), "1.50");
    EXPECT_EQ(FormatHundredths(5), "0.05");
    EXPECT_EQ(FormatHundredths(65535), "655.35");
}

TEST(CommandLine, RecordOptionsGoWithTheirCommandsOnly) {
    CCommandLine h = Parsed({"history", "--station", "Press A", "--since", "2024-05-01", "--until",
                             "2024-05-02T06:00+02:00", "--kind", "Change", "--csv", "--db",
                             "postgresql://plant/db", "--limit", "5"});
    EXPECT_EQ(h.m_command, ZarnctlCommand::history);
    EXPECT_EQ(h.m_strStation, "Press A");
    EXPECT_EQ(h.m_nSince, 1714521600000);
    EXPECT_EQ(h.m_nUntil, 1714521600000 + 86400000 + 4 * 3600000);
    EXPECT_EQ(h.m_strKind, "change");
    EXPECT_EQ(h.m_strDb, "postgresql://plant/db");
    EXPECT_EQ(h.m_nLimit, 5u);
    EXPECT_EQ(Parsed({"history", "--node", "7"}).m_nHistoryNode, 7);
    CCommandLine save = Parsed({"curve", "3", "--save", "a.cur", "--station", "P"});
    EXPECT_EQ(save.m_strSave, "a.cur");
    EXPECT_EQ(Parsed({"export", "A.BUF", "--json"}).m_strFile, "A.BUF");

    EXPECT_NE(ParseError({"stats", "1", "--csv", "--json"}).find("exclude"), std::string::npos);
    EXPECT_NE(ParseError({"ping", "1", "--csv"}).find("--csv goes only"), std::string::npos);
    EXPECT_NE(ParseError({"stats", "1", "--save", "x"}).find("--save goes only"),
              std::string::npos);
    EXPECT_NE(ParseError({"curve", "1", "--since", "2024-05-01"}).find("go only with history"),
              std::string::npos);
    EXPECT_NE(ParseError({"history", "--node", "1", "--station", "A"}).find("not both"),
              std::string::npos);
    EXPECT_NE(ParseError({"history", "--since", "last week"}).find("bad time"), std::string::npos);
    EXPECT_NE(ParseError({"history", "--kind", "curves"}).find("unknown kind"), std::string::npos);
    EXPECT_NE(ParseError({"export", "notes.txt"}).find("neither a .cur nor a .buf"),
              std::string::npos);
    EXPECT_NE(ParseError({"curve", "1", "--save"}).find("needs a value"), std::string::npos);
}
