// The Telnet reader of an RFC 2217 port on whatever a device server sends: the line data, the
// subnegotiations, the answers to option negotiation and the faults, checked against the
// harness's own reading of the stream, and the same whether the stream comes whole or in
// pieces of any size. The first four bytes choose the pieces.
#include "FuzzSupport.h"

#include "serial/TelnetCodec.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Telnet = CTelnetCodec;

const Bytes kLocal = {Telnet::OPT_BINARY, Telnet::OPT_SGA, Telnet::OPT_COM_PORT};
const Bytes kRemote = {Telnet::OPT_BINARY, Telnet::OPT_SGA};

struct CDecoded {
    Bytes data;
    Bytes outbox;
    std::vector<Bytes> subs; // option, then the payload
    Telnet::Fault fault = Telnet::Fault::none;
    Telnet::State local[256] = {};
    Telnet::State remote[256] = {};
};

// The device's opening: our side offers the COM-port option and binary, and asks for binary
// and suppress-go-ahead on the server's.
void Open(Telnet& codec) {
    codec.RequestLocal(Telnet::OPT_COM_PORT);
    codec.RequestLocal(Telnet::OPT_BINARY);
    codec.RequestRemote(Telnet::OPT_BINARY);
    codec.RequestLocal(Telnet::OPT_SGA);
    codec.RequestRemote(Telnet::OPT_SGA);
}

void Collect(Telnet& codec, CDecoded& out) {
    const Bytes box = codec.TakeOutbox();
    out.outbox.insert(out.outbox.end(), box.begin(), box.end());
    for (const auto& sub : codec.TakeSubnegotiations()) {
        Bytes s{sub.nOption};
        s.insert(s.end(), sub.payload.begin(), sub.payload.end());
        out.subs.push_back(std::move(s));
    }
}

void Finish(const Telnet& codec, CDecoded& out, const std::deque<unsigned char>& data) {
    out.data.assign(data.begin(), data.end());
    out.fault = codec.GetFault();
    for (int o = 0; o < 256; ++o) {
        out.local[o] = codec.Local(static_cast<unsigned char>(o));
        out.remote[o] = codec.Remote(static_cast<unsigned char>(o));
    }
}

bool Has(const Bytes& list, std::uint8_t option) {
    for (std::uint8_t b : list) {
        if (b == option) {
            return true;
        }
    }
    return false;
}

// The harness's own reading: the stream scanned by position, the negotiation answered after
// RFC 1143 for a side that only ever asks to enable.
class CModel {
public:
    CDecoded Read(const std::uint8_t* p, std::size_t n) {
        using S = Telnet::State;
        for (std::uint8_t o : {Telnet::OPT_COM_PORT, Telnet::OPT_BINARY}) {
            m_out.local[o] = S::wantYes;
        }
        m_out.remote[Telnet::OPT_BINARY] = S::wantYes;
        m_out.local[Telnet::OPT_SGA] = S::wantYes;
        m_out.remote[Telnet::OPT_SGA] = S::wantYes;
        m_out.outbox = {255, 251, 44, 255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3};
        std::size_t i = 0;
        while (i < n && m_out.fault == Telnet::Fault::none) {
            if (p[i] != Telnet::IAC) {
                Data(p[i++]);
                continue;
            }
            if (i + 1 >= n) {
                break;
            }
            i = AfterIac(p, n, i + 1);
        }
        return std::move(m_out);
    }

private:
    // Reads the command at p[i] (the byte after an IAC); the position after it.
    std::size_t AfterIac(const std::uint8_t* p, std::size_t n, std::size_t i) {
        const std::uint8_t c = p[i];
        if (c == Telnet::IAC) {
            Data(0xFF);
            return i + 1;
        }
        if (c >= Telnet::WILL && c <= Telnet::DONT) {
            if (i + 1 < n) {
                Negotiate(c, p[i + 1]);
            }
            return i + 2;
        }
        if (c != Telnet::SB) {
            return i + 1;
        }
        if (i + 1 >= n) {
            return n;
        }
        Bytes sub{p[i + 1]};
        for (std::size_t k = i + 2; k < n; ++k) {
            std::uint8_t b = p[k];
            if (b == Telnet::IAC) {
                if (k + 1 >= n) {
                    return n;
                }
                if (p[k + 1] == Telnet::SE) {
                    m_out.subs.push_back(std::move(sub));
                    return k + 2;
                }
                if (p[k + 1] != Telnet::IAC) {
                    return AfterIac(p, n, k + 1); // broken off by another command
                }
                ++k;
            }
            if (sub.size() - 1 >= Telnet::kMaxSubnegotiation) {
                m_out.fault = Telnet::Fault::longSubnegotiation;
                return n;
            }
            sub.push_back(b);
        }
        return n;
    }

    // A NUL after a CR is padding while the server's side is not binary.
    void Data(std::uint8_t b) {
        const bool padding =
            b == 0 && m_bAfterCr && m_out.remote[Telnet::OPT_BINARY] != Telnet::State::yes;
        m_bAfterCr = !padding && b == '\r';
        if (!padding) {
            m_out.data.push_back(b);
        }
    }

    void Negotiate(std::uint8_t command, std::uint8_t option) {
        using S = Telnet::State;
        if (++m_nNegotiations > Telnet::kNegotiationBudget) {
            m_out.fault = Telnet::Fault::negotiationStorm;
            return;
        }
        const bool remote = command == Telnet::WILL || command == Telnet::WONT;
        const bool enable = command == Telnet::WILL || command == Telnet::DO;
        S& state = remote ? m_out.remote[option] : m_out.local[option];
        const std::uint8_t yes = remote ? Telnet::DO : Telnet::WILL;
        const std::uint8_t no = remote ? Telnet::DONT : Telnet::WONT;
        auto send = [&](std::uint8_t c) {
            m_out.outbox.insert(m_out.outbox.end(), {255, c, option});
        };
        if (enable && state == S::no) {
            const bool agree = Has(remote ? kRemote : kLocal, option);
            state = agree ? S::yes : S::no;
            send(agree ? yes : no);
        } else if (enable) {
            state = S::yes;
        } else {
            if (state == S::yes) {
                send(no);
            }
            state = S::no;
        }
    }

    CDecoded m_out;
    unsigned m_nNegotiations = 0;
    bool m_bAfterCr = false;
};

bool Same(const CDecoded& a, const CDecoded& b) {
    if (a.data != b.data || a.outbox != b.outbox || a.subs != b.subs || a.fault != b.fault) {
        return false;
    }
    for (int o = 0; o < 256; ++o) {
        if (a.local[o] != b.local[o] || a.remote[o] != b.remote[o]) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    std::uint32_t seed = 0;
    for (int k = 0; k < 4; ++k) {
        seed = seed << 8 | input[k];
    }
    const std::uint8_t* stream = input + 4;
    const std::size_t n = size - 4;

    CDecoded whole;
    {
        Telnet codec(kLocal, kRemote);
        Open(codec);
        std::deque<unsigned char> data;
        codec.Feed(stream, n, data);
        Collect(codec, whole);
        Finish(codec, whole, data);
        // What we would send of the same bytes takes the room Width says, byte by byte.
        Bytes wire;
        codec.Encode(stream, n, wire);
        std::size_t widths = 0;
        for (std::size_t k = 0; k < n; ++k) {
            widths += codec.Width(stream[k]);
        }
        FUZZ_CHECK(widths == wire.size());
    }
    CDecoded pieces;
    {
        Telnet codec(kLocal, kRemote);
        Open(codec);
        std::deque<unsigned char> data;
        std::uint32_t x = seed | 1;
        for (std::size_t at = 0; at < n;) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            const std::size_t piece = std::min<std::size_t>(n - at, 1 + x % 24);
            codec.Feed(stream + at, piece, data);
            Collect(codec, pieces); // as the device takes them after every piece
            at += piece;
        }
        Collect(codec, pieces);
        Finish(codec, pieces, data);
    }
    FUZZ_CHECK(Same(whole, pieces));

    const CDecoded expected = CModel().Read(stream, n);
    FUZZ_CHECK(whole.data == expected.data);
    FUZZ_CHECK(whole.subs == expected.subs);
    FUZZ_CHECK(whole.fault == expected.fault);
    FUZZ_CHECK(whole.outbox == expected.outbox);
    FUZZ_CHECK(Same(whole, expected));

    // Bounded whatever came: no more data than bytes, no answer beyond the budget.
    FUZZ_CHECK(whole.data.size() <= n);
    for (const Bytes& s : whole.subs) {
        FUZZ_CHECK(s.size() <= Telnet::kMaxSubnegotiation + 1);
    }
    FUZZ_CHECK(whole.outbox.size() <= 15 + 3 * Telnet::kNegotiationBudget);
    return 0;
}
