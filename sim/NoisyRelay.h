#pragma once

#include <cstdint>
#include <memory>
#include <string>

// A noisy stretch of line between the controller and a serial device (the simulator's
// pseudo-terminal, say): a pseudo-terminal of its own that the controller opens like a serial
// port, whose bytes are relayed to and from the device with each bit flipped at a given rate.
// Bytes are changed, never lost or added, in both directions alike: the analysers hear the
// changed request, the line echoes what they heard, and the way back adds noise of its own.
// A background thread relays from Start() to Stop().
class CNoisyRelay {
public:
    struct Options {
        std::string strDevice;    // the device to relay to and from
        double dBitErrorRate = 0; // chance that any one bit is flipped, 0 to 1
        std::uint64_t nSeed = 1;  // makes the flips repeatable for the same traffic
    };

    explicit CNoisyRelay(Options options);
    ~CNoisyRelay(); // stops
    CNoisyRelay(const CNoisyRelay&) = delete;
    CNoisyRelay& operator=(const CNoisyRelay&) = delete;

    // Opens both ends and starts relaying; false with a reason on failure.
    bool Start(std::string* error = nullptr);
    void Stop();
    // The path the controller opens; empty before Start().
    std::string DevicePath() const;

    // Bytes relayed and bits flipped since Start(), both directions together.
    std::uint64_t BytesRelayed() const;
    std::uint64_t BitsFlipped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
