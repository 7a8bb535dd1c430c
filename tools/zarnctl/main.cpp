#include "tools/zarnctl/Zarnctl.h"

#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    CZarnctl controller;
    controller.SetStderrIsTerminal(::isatty(STDERR_FILENO) == 1);
    return controller.Run(args, std::cin, std::cout, std::cerr, ::isatty(STDIN_FILENO) == 1);
}
