#include "network/ZarndFrameReader.h"

bool CZarndFrameReader::Header(std::size_t& length) {
    const std::uint8_t* p = m_buffer.data() + m_nStart;
    length = static_cast<std::size_t>(p[0]) | std::size_t{p[1]} << 8 | std::size_t{p[2]} << 16 |
             std::size_t{p[3]} << 24;
    if (length > m_nMaxFrame) {
        m_bBroken = true;
        m_buffer.clear();
        m_nStart = 0;
        return false;
    }
    return true;
}

bool CZarndFrameReader::Feed(const std::uint8_t* data, std::size_t size) {
    if (m_bBroken) {
        return false;
    }
    if (m_nStart > 0 && m_nStart == m_buffer.size()) {
        m_buffer.clear();
        m_nStart = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
    // A header is checked as soon as it is whole, before its frame's bytes are waited for.
    std::size_t length = 0;
    return GetPending() < 4 || Header(length);
}

bool CZarndFrameReader::Next(std::vector<std::uint8_t>& payload) {
    if (m_bBroken || GetPending() < 4) {
        return false;
    }
    std::size_t length = 0;
    if (!Header(length)) {
        return false;
    }
    if (GetPending() - 4 < length) {
        return false;
    }
    const std::uint8_t* p = m_buffer.data() + m_nStart;
    payload.assign(p + 4, p + 4 + length);
    m_nStart += 4 + length;
    // What is left moves to the front now and then, so the buffer never creeps.
    if (m_nStart == m_buffer.size()) {
        m_buffer.clear();
        m_nStart = 0;
    } else if (m_nStart > 4096 && m_nStart * 2 > m_buffer.size()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_nStart));
        m_nStart = 0;
    }
    return true;
}
