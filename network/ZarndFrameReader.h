#pragma once

#include "base/Export.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Splits the line service's byte stream into frames: a 32-bit little-endian length, then that
// many bytes. A frame longer than the bound breaks the stream for good, so a hostile or confused
// peer can never make the reader hold more than one bound's worth of bytes plus what it was fed.
class LINTARO_API CZarndFrameReader {
public:
    explicit CZarndFrameReader(std::size_t nMaxFrame) : m_nMaxFrame(nMaxFrame) {}

    // Takes bytes from the peer; false once the stream is broken.
    bool Feed(const std::uint8_t* data, std::size_t size);
    // The next whole frame's payload; false when none is complete (or the stream is broken).
    bool Next(std::vector<std::uint8_t>& payload);
    bool IsBroken() const { return m_bBroken; }
    // Bytes held that no frame has taken yet.
    std::size_t GetPending() const { return m_buffer.size() - m_nStart; }

private:
    // The length of the frame in front, read from its whole header; false, and broken for
    // good, when it is longer than a frame may be.
    bool Header(std::size_t& length);

    std::size_t m_nMaxFrame;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_nStart = 0;
    bool m_bBroken = false;
};
