#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// A disagreement between the code under test and the harness's own reading of the input. It is
// reported and made a crash, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The harness's own reading of stored data, written apart from the archive class so that the
// two can be compared: little-endian numbers and the length-prefixed texts.
class CFuzzReader {
public:
    CFuzzReader(const std::uint8_t* data, std::size_t size) : m_pData(data), m_nSize(size) {}

    std::size_t Remaining() const { return m_nSize - m_nPos; }
    std::size_t Position() const { return m_nPos; }

    bool Take(std::size_t n, const std::uint8_t*& p) {
        if (Remaining() < n) {
            return false;
        }
        p = m_pData + m_nPos;
        m_nPos += n;
        return true;
    }
    template <typename T> bool Number(T& value) {
        const std::uint8_t* p = nullptr;
        if (!Take(sizeof(T), p)) {
            return false;
        }
        std::uint64_t bits = 0;
        for (std::size_t i = sizeof(T); i-- > 0;) {
            bits = bits << 8 | p[i];
        }
        std::memcpy(&value, &bits, sizeof(T)); // little-endian machine
        return true;
    }
    // One length byte below 255; else 0xFF and a 16-bit length, 0xFFFE announcing wide text
    // (refused) and 0xFFFF a 32-bit length.
    bool Text(std::string& text) {
        std::uint8_t b = 0;
        if (!Number(b)) {
            return false;
        }
        std::uint32_t n = b;
        if (b == 0xFF) {
            std::uint16_t w = 0;
            if (!Number(w) || w == 0xFFFE) {
                return false;
            }
            n = w;
            if (w == 0xFFFF && !Number(n)) {
                return false;
            }
        }
        const std::uint8_t* p = nullptr;
        if (!Take(n, p)) {
            return false;
        }
        text.assign(reinterpret_cast<const char*>(p), n);
        return true;
    }

private:
    const std::uint8_t* m_pData;
    std::size_t m_nSize;
    std::size_t m_nPos = 0;
};
