// zarnd: the line service. Owns one analyser line, polls and records it, and shares it with
// clients on a Unix socket. Runs in the foreground; systemd runs it as a service.

#include "service/LineService.h"
#include "service/ServiceConfig.h"
#include "service/ServiceLog.h"

#include <iostream>

int main(int argc, char** argv) {
    CServiceConfig config;
    std::string message;
    const int parsed = config.Parse(argc, argv, message);
    if (parsed == 0) {
        std::cout << message;
        return 0;
    }
    if (parsed > 0) {
        std::cerr << "zarnd: " << message << "\nTry 'zarnd --help'.\n";
        return parsed;
    }
    std::string problem;
    if (!config.Check(problem)) {
        std::cerr << "zarnd: invalid configuration: " << problem << '\n';
        return 1;
    }
    if (config.m_bCheckOnly) {
        std::cout << "zarnd: configuration valid\n";
        return 0;
    }
    CLineService service(std::move(config));
    return service.Run();
}
