#pragma once

// Runs the zarnctl program (ZARNCTL_PATH) for end-to-end tests.

#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Runs zarnctl with standard input on /dev/null and collects both outputs. A program that has
// not ended by the deadline is killed, so a hang fails the test instead of stalling it.
inline ProgramResult RunZarnctl(const std::vector<std::string>& args, int timeoutMs = 60000) {
    std::vector<std::string> argv = {ZARNCTL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ProgramResult result = RunProgram(argv, timeoutMs);
    EXPECT_EQ(result.strError, "");
    return result;
}

// The points of a curve or batch as zarnctl writes them in JSON.
inline std::string PointsJson(const std::vector<std::uint16_t>& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        text +=
            (i ? ",[" : "[") + std::to_string(i) + "," + std::to_string(values[i] & 0x0FFF) + "]";
    }
    return text + "]";
}
