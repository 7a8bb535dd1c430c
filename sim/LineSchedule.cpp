#include "sim/LineSchedule.h"

#include <algorithm>

CLineSchedule::Clock::time_point CLineSchedule::ByteEnd(Clock::time_point start, std::uint64_t i) {
    // Whole nanoseconds from the start, so rounding never adds up over a long transfer.
    const std::uint64_t ns = i * kBitsPerByte * 1000000000ull / kBaud;
    return start + std::chrono::nanoseconds(static_cast<std::int64_t>(ns));
}

std::size_t CLineSchedule::Add(const unsigned char* data, std::size_t count,
                               Clock::time_point earliest, bool bReply) {
    count = std::min(count, kMaxQueued - std::min(kMaxQueued, m_queue.size()));
    const Clock::time_point start = std::max(earliest, m_lineFree);
    for (std::size_t i = 0; i < count; ++i) {
        const Clock::time_point due = m_bPace ? ByteEnd(start, i + 1) : start;
        m_queue.push_back(CByte{data[i], bReply, due});
    }
    if (count > 0) {
        m_lineFree = m_queue.back().due;
    }
    return count;
}

void CLineSchedule::DropReplies() {
    std::erase_if(m_queue, [](const CByte& b) { return b.bReply; });
    m_lineFree = m_queue.empty() ? m_lastWritten : m_queue.back().due;
}

CLineSchedule::Clock::time_point CLineSchedule::NextDue() const {
    return m_queue.empty() ? Clock::time_point::max() : m_queue.front().due;
}

std::size_t CLineSchedule::PeekDue(Clock::time_point now, unsigned char* out,
                                   std::size_t max) const {
    std::size_t n = 0;
    for (const CByte& b : m_queue) {
        if (n == max || b.due > now) {
            break;
        }
        out[n++] = b.nValue;
    }
    return n;
}

void CLineSchedule::Consume(std::size_t count) {
    count = std::min(count, m_queue.size());
    if (count > 0) {
        m_lastWritten = m_queue[count - 1].due;
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(count));
    }
}

std::size_t CLineSchedule::DropDue(Clock::time_point now) {
    std::size_t n = 0;
    while (n < m_queue.size() && m_queue[n].due <= now) {
        ++n;
    }
    Consume(n);
    return n;
}

void CLineSchedule::Clear() {
    m_queue.clear();
    m_lineFree = m_lastWritten;
}
