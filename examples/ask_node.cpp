// Asks one analyser on a line whether it answers: ask_node PORT NODE
//
// PORT is a device path (/dev/ttyUSB0, a pseudo-terminal), COMn, or socket://HOST:PORT or
// rfc2217://HOST:PORT for a device server; NODE is the analyser's ID, 1 to 254.

#include <lintaro/network/ZarnPort.h>
#include <lintaro/serial/CommApi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PORT NODE\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const long node = std::strtol(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || node < 1 || node > 254) {
        std::fprintf(stderr, "%s: the node must be a number from 1 to 254\n", argv[0]);
        return 2;
    }

    CZarnPort port(argv[1], 57600, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    if (port.SetCommPort() != 1) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", argv[0], argv[1],
                     lintaro::DescribeOpenError(port.GetOpenError()).c_str());
        return 1;
    }
    if (port.RequestACK(static_cast<unsigned char>(node)) == 1) {
        std::printf("node %ld answers\n", node);
        return 0;
    }
    std::printf("node %ld does not answer: %s\n", node, port.GetLastErrorText().c_str());
    return 1;
}
