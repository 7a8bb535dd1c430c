#include "serial/TelnetCodec.h"

#include <algorithm>

CTelnetCodec::CTelnetCodec(std::vector<unsigned char> local, std::vector<unsigned char> remote)
    : m_supportedLocal(std::move(local)), m_supportedRemote(std::move(remote)) {}

bool CTelnetCodec::Has(const std::vector<unsigned char>& list, unsigned char option) {
    return std::find(list.begin(), list.end(), option) != list.end();
}

void CTelnetCodec::Send(unsigned char command, unsigned char option) {
    m_outbox.insert(m_outbox.end(), {IAC, command, option});
}

void CTelnetCodec::RequestLocal(unsigned char option) {
    if (m_local[option] == State::no) {
        m_local[option] = State::wantYes;
        Send(WILL, option);
    }
}

void CTelnetCodec::RequestRemote(unsigned char option) {
    if (m_remote[option] == State::no) {
        m_remote[option] = State::wantYes;
        Send(DO, option);
    }
}

void CTelnetCodec::Fail(Fault fault) {
    m_fault = fault;
    m_parse = Parse::failed;
    m_sub = CSubnegotiation{};
}

void CTelnetCodec::SubByte(unsigned char b) {
    if (m_sub.payload.size() >= kMaxSubnegotiation) {
        Fail(Fault::longSubnegotiation);
    } else {
        m_sub.payload.push_back(b);
        m_parse = Parse::subData;
    }
}

void CTelnetCodec::Negotiate(unsigned char command, unsigned char option) {
    if (++m_nNegotiations > kNegotiationBudget) {
        Fail(Fault::negotiationStorm);
        return;
    }
    // WILL and WONT speak of the server's side, DO and DONT of ours.
    const bool remote = command == WILL || command == WONT;
    const bool enable = command == WILL || command == DO;
    State& state = remote ? m_remote[option] : m_local[option];
    const bool supported = Has(remote ? m_supportedRemote : m_supportedLocal, option);
    const unsigned char agree = remote ? DO : WILL;
    const unsigned char refuse = remote ? DONT : WONT;
    if (enable) {
        if (state == State::wantYes) {
            state = State::yes; // the answer to our own request
        } else if (state == State::no) {
            if (supported) {
                state = State::yes;
                Send(agree, option);
            } else {
                Send(refuse, option);
            }
        }
    } else {
        if (state == State::yes) {
            state = State::no;
            Send(refuse, option);
        } else {
            state = State::no; // refused our request, or already off: no answer
        }
    }
}

void CTelnetCodec::Data(unsigned char b, std::deque<unsigned char>& data) {
    if (b == 0 && m_bAfterCr && m_remote[OPT_BINARY] != State::yes) {
        m_bAfterCr = false;
        return;
    }
    m_bAfterCr = b == '\r';
    data.push_back(b);
}

void CTelnetCodec::Command(unsigned char b, std::deque<unsigned char>& data) {
    if (b == IAC) {
        Data(IAC, data);
        m_parse = Parse::data;
    } else if (b == WILL || b == WONT || b == DO || b == DONT) {
        m_nCommand = b;
        m_parse = Parse::option;
    } else if (b == SB) {
        m_parse = Parse::subOption;
    } else {
        m_parse = Parse::data; // NOP, GA, BRK and the like, or garbage: nothing to do
    }
}

void CTelnetCodec::Feed(const unsigned char* bytes, std::size_t count,
                        std::deque<unsigned char>& data) {
    for (std::size_t i = 0; i < count && m_parse != Parse::failed; ++i) {
        const unsigned char b = bytes[i];
        switch (m_parse) {
        case Parse::data:
            if (b == IAC) {
                m_parse = Parse::command;
            } else {
                Data(b, data);
            }
            break;
        case Parse::command:
            Command(b, data);
            break;
        case Parse::option:
            m_parse = Parse::data;
            Negotiate(m_nCommand, b);
            break;
        case Parse::subOption:
            m_sub = CSubnegotiation{b, {}};
            m_parse = Parse::subData;
            break;
        case Parse::subData:
            if (b == IAC) {
                m_parse = Parse::subIac;
            } else {
                SubByte(b);
            }
            break;
        case Parse::subIac:
            if (b == IAC) {
                SubByte(IAC);
            } else if (b == SE) {
                m_received.push_back(std::move(m_sub));
                m_sub = CSubnegotiation{};
                m_parse = Parse::data;
            } else {
                // A command inside a subnegotiation: the subnegotiation was broken off.
                m_sub = CSubnegotiation{};
                Command(b, data);
            }
            break;
        case Parse::failed:
            break;
        }
    }
}

std::vector<unsigned char> CTelnetCodec::TakeOutbox() {
    std::vector<unsigned char> out;
    out.swap(m_outbox);
    return out;
}

std::vector<CTelnetCodec::CSubnegotiation> CTelnetCodec::TakeSubnegotiations() {
    std::vector<CSubnegotiation> out;
    out.swap(m_received);
    return out;
}

void CTelnetCodec::EscapeData(const unsigned char* data, std::size_t count,
                              std::vector<unsigned char>& out) {
    Escape(data, count, false, out);
}

void CTelnetCodec::Escape(const unsigned char* data, std::size_t count, bool bCrNul,
                          std::vector<unsigned char>& out) {
    out.clear();
    out.reserve(count + 8);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(data[i]);
        if (data[i] == IAC) {
            out.push_back(IAC);
        } else if (data[i] == '\r' && bCrNul) {
            out.push_back(0);
        }
    }
}

std::size_t CTelnetCodec::Width(unsigned char b) const {
    return b == IAC || (b == '\r' && m_local[OPT_BINARY] != State::yes) ? 2 : 1;
}

void CTelnetCodec::Encode(const unsigned char* data, std::size_t count,
                          std::vector<unsigned char>& out) const {
    Escape(data, count, m_local[OPT_BINARY] != State::yes, out);
}

std::vector<unsigned char> CTelnetCodec::Subnegotiation(unsigned char option,
                                                        const std::vector<unsigned char>& payload) {
    std::vector<unsigned char> out{IAC, SB, option};
    for (unsigned char b : payload) {
        out.push_back(b);
        if (b == IAC) {
            out.push_back(IAC);
        }
    }
    out.insert(out.end(), {IAC, SE});
    return out;
}
