#include "tools/zarnctl/LoggerCommands.h"

#include "devices/OndralPort.h"
#include "devices/TarvikPort.h"
#include "serial/CommApi.h"

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

namespace {

const char kUsage[] = "usage: zarnctl [--port NAME] [--json] logger [--vask] [--id N] "
                      "info|settings|start|stop|buffer\n"
                      "       zarnctl [--port NAME] [--json] jig [--vask] [--id N] info\n";

struct CRequestOptions {
    std::string strGroup;
    std::string strCommand;
    bool bJson = false;
    bool bVask = false;
    int nPacketID = CTarvikPort::kDefaultPacketID;
    bool bHelp = false;
};

bool ParseNumber(const std::string& text, int& value) {
    if (text.empty()) {
        return false;
    }
    std::size_t used = 0;
    unsigned long n = 0;
    try {
        n = std::stoul(text, &used, 0);
    } catch (...) {
        return false;
    }
    if (used != text.size() || n > 255 || text[0] == '-' || text[0] == '+') {
        return false;
    }
    value = static_cast<int>(n);
    return true;
}

// Empty on success, else what is wrong.
std::string Parse(const std::vector<std::string>& args, CRequestOptions& options) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--vask") {
            options.bVask = true;
        } else if (a == "--json") {
            options.bJson = true;
        } else if (a == "--help" || a == "-h") {
            options.bHelp = true;
        } else if (a == "--id") {
            if (i + 1 == args.size() || !ParseNumber(args[i + 1], options.nPacketID)) {
                return "--id needs a packet ID from 0 to 255";
            }
            ++i;
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else {
            words.push_back(a);
        }
    }
    if (options.bHelp) {
        return {};
    }
    if (words.empty()) {
        return "missing command";
    }
    options.strGroup = words[0];
    if (options.strGroup != "logger" && options.strGroup != "jig") {
        return "unknown command " + options.strGroup;
    }
    if (words.size() < 2) {
        return "missing " + options.strGroup + " command";
    }
    if (words.size() > 2) {
        return "unexpected argument " + words[2];
    }
    options.strCommand = words[1];
    static const char* const kLogger[] = {"info", "settings", "start", "stop", "buffer"};
    bool known = false;
    if (options.strGroup == "logger") {
        for (const char* c : kLogger) {
            known = known || options.strCommand == c;
        }
    } else {
        known = options.strCommand == "info";
    }
    if (!known) {
        return "unknown " + options.strGroup + " command " + options.strCommand;
    }
    return {};
}

std::string JsonString(const std::string& text) {
    std::string s = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            s += "\\\"";
            break;
        case '\\':
            s += "\\\\";
            break;
        case '\n':
            s += "\\n";
            break;
        case '\t':
            s += "\\t";
            break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                s += esc;
            } else {
                s += static_cast<char>(c);
            }
        }
    }
    return s + "\"";
}

std::string Hex(const unsigned char* data, int count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(static_cast<std::size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        s += kDigits[data[i] >> 4];
        s += kDigits[data[i] & 0x0F];
    }
    return s;
}

// Runs one command on an open port and reports it.
class CLoggerSession {
public:
    CLoggerSession(CTarvikPort& port, const CRequestOptions& options, std::ostream& out,
                   std::ostream& err)
        : m_port(port), m_options(options), m_out(out), m_err(err) {}

    int Run() {
        const std::string& c = m_options.strCommand;
        if (m_options.strGroup == "jig") {
            return JigInfo();
        }
        if (c == "info") {
            return Info();
        }
        if (c == "settings") {
            return Settings();
        }
        if (c == "start") {
            return Switch(m_port.StartSampling(), "start sampling", "Sampling started.");
        }
        if (c == "stop") {
            return Switch(m_port.StopSampling(), "stop sampling", "Sampling stopped.");
        }
        return Buffer();
    }

private:
    int Fail(const std::string& what) {
        const std::string device = m_options.strGroup == "jig" ? "the wave jig" : "the logger";
        const std::string reason = device + " did not answer the " + what + " request";
        if (m_options.bJson) {
            m_out << "{\"ok\":false,\"error\":" << JsonString(reason) << "}\n";
        }
        m_err << "zarnctl: " << reason << " on " << m_port.GetCommPort() << "\n";
        return kLoggerExitFailed;
    }

    int Info() {
        unsigned short serial = 0, version = 0, product = 0, battery = 0;
        unsigned short day = 0, month = 0, year = 0;
        if (!m_port.GetSerialNumber(&serial)) {
            return Fail("serial number");
        }
        if (!m_port.GetSWVersion(&version)) {
            return Fail("software version");
        }
        if (!m_port.GetProductCode(&product)) {
            return Fail("product code");
        }
        if (!m_port.GetBatteryLevel(&battery)) {
            return Fail("battery level");
        }
        if (!m_port.GetCalibrationDay(&day)) {
            return Fail("calibration day");
        }
        if (!m_port.GetCalibrationMonth(&month)) {
            return Fail("calibration month");
        }
        if (!m_port.GetCalibrationYear(&year)) {
            return Fail("calibration year");
        }
        if (m_options.bJson) {
            m_out << "{\"serial_number\":" << serial << ",\"sw_version\":" << version
                  << ",\"product_code\":" << product << ",\"battery_level\":" << battery
                  << ",\"calibration\":{\"day\":" << day << ",\"month\":" << month
                  << ",\"year\":" << year << "}}\n";
        } else {
            m_out << "Serial number     " << serial << "\n"
                  << "Software version  " << version << "\n"
                  << "Product code      " << product << "\n"
                  << "Battery level     " << battery << "\n"
                  << "Calibrated        " << day << "/" << month << "/" << year
                  << " (day/month/year)\n";
        }
        return kLoggerExitOk;
    }

    int Settings() {
        LOGGER_SETTING settings{};
        if (!m_port.GetAllSettings(&settings)) {
            return Fail("settings");
        }
        if (m_options.bJson) {
            m_out << "{\"settings\":[";
            for (int i = 0; i < 9; ++i) {
                m_out << (i ? "," : "") << settings.wValue[i];
            }
            m_out << "]}\n";
        } else {
            for (int i = 0; i < 9; ++i) {
                m_out << "Setting " << i + 1 << "  " << settings.wValue[i] << "\n";
            }
        }
        return kLoggerExitOk;
    }

    int Switch(int ok, const char* what, const char* done) {
        if (!ok) {
            return Fail(what);
        }
        m_out << (m_options.bJson ? "{\"ok\":true}" : done) << "\n";
        return kLoggerExitOk;
    }

    int Buffer() {
        unsigned char* data = nullptr;
        unsigned char received = 0;
        const int n = m_port.GetBufferData(&data, m_port.GetHandshake(), &received);
        std::unique_ptr<unsigned char[], void (*)(unsigned char*)> owner(
            data, &CTarvikPort::FreeBufferData);
        if (n <= 0 || data == nullptr) {
            return Fail("buffer");
        }
        if (m_options.bJson) {
            m_out << "{\"length\":" << n << ",\"bytes\":\"" << Hex(data, n) << "\"}\n";
        } else {
            m_out << n << (n == 1 ? " byte" : " bytes") << "\n";
            for (int i = 0; i < n; i += 16) {
                char offset[16];
                std::snprintf(offset, sizeof offset, "%04x ", i);
                m_out << offset;
                for (int j = i; j < n && j < i + 16; ++j) {
                    m_out << " " << Hex(data + j, 1);
                }
                m_out << "\n";
            }
        }
        return kLoggerExitOk;
    }

    int JigInfo() {
        unsigned short version = 0, channels = 0, status = 0;
        if (!m_port.GetWaveJigSWVersion(&version)) {
            return Fail("software version");
        }
        if (!m_port.GetWaveChannelCount(&channels)) {
            return Fail("channel count");
        }
        if (!m_port.GetWaveJigStatus(&status)) {
            return Fail("status");
        }
        if (m_options.bJson) {
            m_out << "{\"sw_version\":" << version << ",\"channel_count\":" << channels
                  << ",\"status\":" << status << "}\n";
        } else {
            m_out << "Software version  " << version << "\n"
                  << "Channels          " << channels << "\n"
                  << "Status            " << status << "\n";
        }
        return kLoggerExitOk;
    }

    CTarvikPort& m_port;
    const CRequestOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace

const char* LoggerCommandUsage() {
    return kUsage;
}

int RunLoggerCommand(const std::vector<std::string>& args, const std::string& port, bool json,
                     bool vask, std::ostream& out, std::ostream& err) {
    CRequestOptions options;
    options.bJson = json;
    options.bVask = vask;
    const std::string problem = Parse(args, options);
    if (options.bHelp) {
        out << kUsage;
        return kLoggerExitOk;
    }
    if (!problem.empty()) {
        err << "zarnctl: " << problem << "\n" << kUsage;
        return kLoggerExitUsage;
    }

    const unsigned long baud =
        options.bVask ? CTarvikPort::kVaskBaudRate : CTarvikPort::kSerialBaudRate;
    std::unique_ptr<CTarvikPort> device;
    if (options.strGroup == "jig") {
        device = std::make_unique<COndralPort>(port.c_str(), baud, NOPARITY, ONESTOPBIT);
    } else {
        device = std::make_unique<CTarvikPort>(port.c_str(), baud, NOPARITY, ONESTOPBIT);
    }
    device->SetPacketID(static_cast<unsigned char>(options.nPacketID));
    const int opened = options.bVask ? device->SetVaskMode() : device->SetSerialMode();
    if (!opened) {
        const std::string reason =
            "cannot open port " + port + ": " + DescribeOpenError(device->GetOpenError());
        if (options.bJson) {
            out << "{\"ok\":false,\"error\":" << JsonString(reason) << "}\n";
        }
        err << "zarnctl: " << reason << "\n";
        return kLoggerExitNoPort;
    }
    if (options.bVask) {
        // The transmit-empty wait depends on what the module can tell.
        device->TestForIntelligentWaitCapability();
    }
    return CLoggerSession(*device, options, out, err).Run();
}
