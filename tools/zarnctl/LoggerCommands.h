#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Service commands for a data logger or a wave jig, as `zarnctl logger ...` and `zarnctl jig
// ...` run them:
//
//   logger info | settings | start | stop | buffer
//   jig info
//
// args holds the words from the group on ({"logger", "info"}); the options --vask (through
// the interface module instead of a direct cable), --json and --id N (the Vask packet ID,
// default 0x11) may stand among them, as may --help. port is the port name as for every other
// command. Text goes to out for people, or one JSON document with json; problems go to err.
// The result is the exit status.
constexpr int kLoggerExitOk = 0;
constexpr int kLoggerExitFailed = 1; // the device did not answer a request
constexpr int kLoggerExitUsage = 2;  // unknown command or option, missing or extra words
constexpr int kLoggerExitNoPort = 3; // the port cannot be opened

int RunLoggerCommand(const std::vector<std::string>& args, const std::string& port, bool json,
                     bool vask, std::ostream& out, std::ostream& err);

// The usage lines of the two groups, for the program's help.
const char* LoggerCommandUsage();
