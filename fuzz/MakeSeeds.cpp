// Writes the fuzzers' seed corpora: one small sound example of each input the loaders and
// readers meet in use, from which the fuzzers start. Run by hand when a layout changes:
//     fuzz_seeds SOURCE/fuzz/corpus
#include "app/framework/SettingsStore.h"
#include "app/stats/StatsListFile.h"
#include "base/Archive.h"
#include "devices/VaskPort.h"
#include "network/ZarnPacket.h"
#include "records/StationFile.h"
#include "serial/TelnetCodec.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
std::filesystem::path g_root;

void Seed(const std::string& fuzzer, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path dir = g_root / fuzzer;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Append(Bytes& out, const COAXNWKPACKET& p) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&p);
    out.insert(out.end(), b, b + sizeof p);
}

// The analyser line: an operation, the flags (bit 0: the line echoes; the rest pick the node
// and the batch's room), then what the line delivers after each request.
Bytes Line(std::uint8_t op, std::uint8_t node, std::uint8_t room,
           const std::vector<Bytes>& chunks) {
    Bytes out{op, static_cast<std::uint8_t>(1 | ((node - 1 + 8 * room) << 1))};
    for (const Bytes& c : chunks) {
        out.push_back(static_cast<std::uint8_t>(c.size() & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c.size() >> 8));
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

Bytes Packets(std::uint8_t node, std::vector<std::pair<std::uint8_t, std::uint16_t>> replies) {
    Bytes out;
    for (const auto& [code, value] : replies) {
        Append(out, MakeZarnPacket(0, code, node, value));
    }
    return out;
}

void ZarnLine() {
    const std::uint8_t node = 3;
    Seed("fuzz_zarn_line", "ack", Line(0, node, 0, {Packets(node, {{0x80, 0}})}));
    Seed("fuzz_zarn_line", "blo-retried",
         Line(1, node, 0, {Packets(2, {{0x42, 77}}), Packets(node, {{0x42, 77}})}));
    Seed("fuzz_zarn_line", "set-blo", Line(2, node, 0, {Packets(node, {{0x80, 0}})}));
    Seed("fuzz_zarn_line", "counts", Line(3, node, 0, {Packets(node, {{0x86, 4}, {0x85, 90}})}));
    std::vector<Bytes> zones;
    for (std::uint16_t z : {100, 175, 250, 330, 60}) {
        zones.push_back(Packets(node, {{0x32, z}}));
    }
    Seed("fuzz_zarn_line", "zones", Line(4, node, 0, zones));
    Seed(
        "fuzz_zarn_line", "statistics",
        Line(5, node, 0,
             {Packets(
                  node,
                  {{1, 2801}, {1, 25}, {1, 13}, {1, 15}, {1, 2750}, {1, 2860}, {1, 60}, {0x84, 2}}),
              Packets(node, {{0x42, 77}})}));
    std::vector<std::pair<std::uint8_t, std::uint16_t>> batch;
    for (std::uint16_t i = 0; i < 12; ++i) {
        batch.emplace_back(1, static_cast<std::uint16_t>(2790 + 3 * i));
    }
    batch.emplace_back(0x84, 12);
    Seed("fuzz_zarn_line", "batch",
         Line(6, node, 4, {Packets(node, batch), Packets(node, {{0x42, 77}})}));
    std::vector<std::pair<std::uint8_t, std::uint16_t>> curve;
    for (std::uint16_t i = 0; i < 500; ++i) {
        curve.emplace_back(2, static_cast<std::uint16_t>(i < 250 ? 400 + 10 * i : 5400 - 10 * i));
    }
    curve.emplace_back(0x84, 500);
    Seed("fuzz_zarn_line", "curve", Line(7, node, 0, {Packets(node, curve)}));
    // A ping the line turns into a reset of another node.
    Bytes reset;
    Append(reset, MakeZarnPacket(2, 5, 0, 0));
    Seed("fuzz_zarn_line", "carried",
         {0, 4, 8, 0, reset[0], reset[1], reset[2], reset[3], reset[4], reset[5], reset[6],
          reset[7]});
}

void LoggerFrames() {
    // Vask: preamble, packet ID, then Manchester words of length, payload and checksum.
    auto vask = [](std::uint8_t id, const Bytes& payload, std::uint8_t handshake) {
        Bytes out{0xFF};
        out.insert(out.end(), 12, 0x55);
        out.insert(out.end(), {0xFF, 0x01, 0x7F, id});
        auto word = [&out](std::uint8_t b) {
            const unsigned short w = CVaskPort::ManchesterEncode(b);
            out.push_back(static_cast<std::uint8_t>(w & 0xFF));
            out.push_back(static_cast<std::uint8_t>(w >> 8));
        };
        word(static_cast<std::uint8_t>(payload.size()));
        unsigned sum = id;
        for (std::uint8_t b : payload) {
            word(b);
            sum += b;
        }
        word(static_cast<std::uint8_t>(handshake | (sum & 0x7F)));
        return out;
    };
    auto serial = [](const Bytes& payload, std::uint8_t handshake) {
        Bytes out{0x3C, static_cast<std::uint8_t>(payload.size())};
        out.insert(out.end(), payload.begin(), payload.end());
        unsigned sum = 0;
        for (std::uint8_t b : payload) {
            sum += b;
        }
        out.push_back(static_cast<std::uint8_t>(handshake | (sum & 0x7F)));
        return out;
    };
    auto seed = [](const std::string& name, std::uint8_t which, const Bytes& line) {
        Bytes out{which};
        out.insert(out.end(), line.begin(), line.end());
        Seed("fuzz_logger_frames", name, out);
    };
    Bytes two = vask(0x21, {0x07, 0x00}, 0);
    const Bytes own = vask(0x11, {0x07, 0x12, 0x34}, 0x80);
    two.insert(two.end(), own.begin(), own.end());
    seed("vask-foreign-then-own", 0, two);
    seed("serial", 1, serial({0x07, 0x12, 0x34}, 0x80));
    seed("vask-stream", 2, vask(0x11, {0xB2, 1, 2, 3, 4, 5}, 0));
    seed("serial-stream", 3, serial({0xB2, 1, 2, 3, 4, 5}, 0));
    seed("time-stamps", 4, serial({0x94, 10, 20, 30}, 0));
    seed("buffer", 5, serial({0x68, 9, 8, 7, 6}, 0));
    seed("serial-number", 6, vask(0x11, {0x91, 0x01, 0x02}, 0));
}

// What device servers send to an RFC 2217 port, after four bytes that choose the pieces.
void Telnet() {
    using T = CTelnetCodec;
    auto com = [](std::initializer_list<std::uint8_t> payload) {
        return T::Subnegotiation(T::OPT_COM_PORT, payload);
    };
    auto seed = [](const std::string& name, std::uint32_t split, std::vector<Bytes> parts) {
        Bytes out{static_cast<std::uint8_t>(split >> 24), static_cast<std::uint8_t>(split >> 16),
                  static_cast<std::uint8_t>(split >> 8), static_cast<std::uint8_t>(split)};
        for (const Bytes& part : parts) {
            out.insert(out.end(), part.begin(), part.end());
        }
        Seed("fuzz_telnet", name, out);
    };
    const Bytes settings[] = {com({101, 0, 0, 0xE1, 0}), com({102, 8}), com({103, 1}),
                              com({104, 1})};
    // A server that offers first, with options of its own, and notices among the answers.
    seed("offers-first", 0x12345678,
         {{T::IAC, T::WILL, T::OPT_ECHO, T::IAC, T::WILL, T::OPT_SGA, T::IAC, T::DO, T::OPT_BINARY,
           T::IAC, T::WILL, T::OPT_COM_PORT, T::IAC, T::DO, T::OPT_COM_PORT},
          com({107, 0xBB}),
          {T::IAC, T::WILL, T::OPT_BINARY, T::IAC, T::DO, T::OPT_SGA},
          settings[0],
          settings[1],
          com({106, 0x60}),
          settings[2],
          settings[3]});
    // One that waits to be asked, then carries line data with 0xFF in it.
    seed("asked", 0x00000101,
         {{T::IAC, T::DO, T::OPT_COM_PORT, T::IAC, T::DO, T::OPT_BINARY, T::IAC, T::WILL,
           T::OPT_BINARY, T::IAC, T::DONT, T::OPT_SGA, T::IAC, T::WONT, T::OPT_SGA},
          settings[0],
          settings[1],
          settings[2],
          settings[3],
          com({105, 1}),
          {0x01, 0x03, T::IAC, T::IAC, 0x80, 0x00, T::IAC, T::IAC, 0x42, 0x0D}});
    // Flow control, a signature with an escaped byte, and the line's data between.
    seed("flow-control", 0xCAFEF00D,
         {{T::IAC, T::DO, T::OPT_COM_PORT},
          com({108}),
          {'a', 'b'},
          com({100, 's', 0xFF, 'g'}),
          com({109}),
          {T::IAC, T::IAC, 'c'},
          com({107, 0x30})});
    // Garbage: an IAC before no command, a subnegotiation broken off, unknown options.
    seed("garbage", 0x0BADCAFE,
         {{T::IAC,  0x05,   'x',    T::IAC, T::SB, 99,     1,       2,      T::IAC,
           T::WILL, 200,    T::IAC, T::SB,  44,    107,    T::IAC,  T::IAC, T::IAC,
           T::SE,   T::IAC, 241,    T::IAC, 249,   T::IAC, T::DONT, 0}});
}

void Files() {
    Seed("fuzz_station_file", "default", StationFile::Store(StationFile::DefaultNetwork()));
    PressList two;
    two.push_back(std::make_unique<CPress>("Crimp \xC3\xA9"
                                           "cole",
                                           CPoint{10, 20}, 5));
    two.push_back(std::make_unique<CPress>(std::string(300, 'x'), CPoint{-5, 7}, 254));
    two.back()->SetSerialNo("SN-1");
    Seed("fuzz_station_file", "two", StationFile::Store(two));

    Bytes list;
    CArchive listOut(&list);
    CStatsListFile::Write(listOut, {1, 2, 12});
    Seed("fuzz_stats_list", "three", list);
    Seed("fuzz_stats_list", "empty", {});

    Bytes curve;
    CArchive c(&curve);
    c.WriteString("Station 3 Force Curve");
    for (int i = 0; i < 501; ++i) {
        c << std::int32_t{i} << std::int32_t{i < 250 ? 400 + 10 * i : 5400 - 10 * i}
          << std::int32_t{i} << std::int32_t{i < 250 ? 390 + 10 * i : 5390 - 10 * i};
    }
    c << std::int32_t{3};
    c.WriteString("Station 3");
    for (int z : {100, 175, 250, 330, 60}) {
        c << std::int32_t{z};
    }
    c << std::int32_t{2900};
    Seed("fuzz_curve_file", "curve", curve);

    Bytes batch;
    CArchive b(&batch);
    b.WriteString("Station 3 Batch");
    b << std::uint16_t{12} << std::int32_t{2950} << std::int16_t{2823};
    for (int i = 0; i < 12; ++i) {
        b << std::int32_t{i} << std::int32_t{2790 + 3 * i};
    }
    Seed("fuzz_batch_file", "batch", batch);

    const std::string ini = CSettingsStore::Format(
        {{"Software\\Velmora\\Quorvel\\Settings", {{"Port", false, "COM1", 0}}},
         {"Software\\Velmora\\Quorvel\\MainWindow",
          {{"XPos", true, "", 50}, {"With = and \"quotes\"", false, "tab\there", 0}}}},
        "Quorvel settings (HKEY_CURRENT_USER)");
    Seed("fuzz_settings", "settings", Bytes(ini.begin(), ini.end()));

    Bytes texts{0};
    CArchive t(&texts);
    t.WriteString("short");
    t.WriteString(std::string(300, 'm'));
    t.WriteString("\x80\x81\xFF");
    Seed("fuzz_archive_text", "texts", texts);
    Bytes tags{1};
    CArchive g(&tags);
    g.WriteObjectTag("CPress", 1);
    g.WriteObjectTag("CPress", 1);
    g.WriteObjectTag("COther", 2);
    g << std::uint16_t{0} << std::uint16_t{2};
    Seed("fuzz_archive_text", "tags", tags);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS-FOLDER\n");
        return 2;
    }
    g_root = argv[1];
    ZarnLine();
    LoggerFrames();
    Telnet();
    Files();
    return 0;
}
