#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A soak of the analyser exchange over a noisy line: the simulated analysers behind a relay
// that flips bits at a given rate, and a controller sending them a random mix of every request
// (presence tests, readings, sets, resets, new references, statistics, downloads). Each outcome
// is checked against the simulated analysers themselves:
//
// - a false accept is a request that succeeded with a result the analyser does not hold (a
//   value, curve, batch or statistics other than its own, or a set it did not take);
// - an unexplained change is an analyser changed other than by the request sent or by the
//   request the library reported the line carried in its place.
class CLineSoak {
public:
    struct Options {
        std::vector<int> nodes{1, 2, 3, 4};
        double dBitErrorRate = 1e-3;
        unsigned long nRequests = 2000; // stop after this many requests,
        unsigned long nSeconds = 0;     // or after this long when not 0, whichever comes first
        std::uint32_t nSeed = 1;        // the mix of requests, the line's noise and the analysers
        bool bDownloads = true;         // curve and batch downloads in the mix
    };

    struct Report {
        unsigned long nRequests = 0;
        unsigned long nSucceeded = 0;
        std::map<std::string, unsigned long> failures; // by reason
        unsigned long nFalseAccepts = 0;
        unsigned long nUnexplainedChanges = 0;
        unsigned long nCarried = 0;        // requests the library reported the line carried
        unsigned long nCarriedChanges = 0; // those of them that change an analyser
        double dLongestMs = 0;
        std::string strLongest; // the request that took longest
        double dSeconds = 0;
        std::uint64_t nBytesRelayed = 0;
        std::uint64_t nBitsFlipped = 0;
        std::vector<std::string> problems; // the first false accepts and unexplained changes
    };

    explicit CLineSoak(Options options) : m_options(std::move(options)) {}

    // False, with a reason, when the line cannot be set up; otherwise the report is complete.
    bool Run(Report& report, std::string* error = nullptr);

    // The report for people.
    static std::string Format(const Report& report);

private:
    Options m_options;
};
