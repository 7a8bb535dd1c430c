#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

// The bytes on their way from the line to the controller, each with the time it is due. Paced,
// bytes follow one another at the byte time of a 57600-baud 8N1 line (10 bits), counted from the
// moment the line is free, so the total time is right however late the server wakes. Unpaced,
// every byte is due as soon as it is queued.
class CLineSchedule {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::uint64_t kBaud = 57600;
    static constexpr std::uint64_t kBitsPerByte = 10;
    // Beyond this the controller has stopped reading; a real line would lose the bytes too.
    static constexpr std::size_t kMaxQueued = 1 << 16;

    explicit CLineSchedule(bool bPace) : m_bPace(bPace) {}

    // Queues bytes after everything already queued, the first not before 'earliest'. Reply bytes
    // can be called back with DropReplies; echoes cannot. Returns how many bytes were queued.
    std::size_t Add(const unsigned char* data, std::size_t count, Clock::time_point earliest,
                    bool bReply);
    // Calls back the reply bytes not yet written: an analyser does not talk over the controller.
    void DropReplies();

    bool Empty() const { return m_queue.empty(); }
    std::size_t Size() const { return m_queue.size(); }
    Clock::time_point NextDue() const;
    // Copies up to 'max' bytes due at 'now' without taking them off the queue.
    std::size_t PeekDue(Clock::time_point now, unsigned char* out, std::size_t max) const;
    // Takes the first 'count' bytes off the queue once they have been written.
    void Consume(std::size_t count);
    // Loses the bytes due at 'now', as a receiver that does not read loses them to overrun;
    // bytes still to come stay. Returns how many were lost.
    std::size_t DropDue(Clock::time_point now);
    void Clear();

    // The time the i-th byte after 'start' has crossed the line (i counts from 1).
    static Clock::time_point ByteEnd(Clock::time_point start, std::uint64_t i);

private:
    struct CByte {
        unsigned char nValue;
        bool bReply;
        Clock::time_point due;
    };

    bool m_bPace;
    std::deque<CByte> m_queue;
    // When the last byte queued or written has crossed the line.
    Clock::time_point m_lineFree{};
    Clock::time_point m_lastWritten{};
};
