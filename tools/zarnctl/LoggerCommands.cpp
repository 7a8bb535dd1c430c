#include "tools/zarnctl/LoggerCommands.h"

#include "devices/OndralPort.h"
#include "devices/TarvikPort.h"
#include "records/JsonWriter.h"
#include "serial/CommApi.h"

#include <CLI/CLI.hpp>

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

// Empty on success, else what is wrong. CLI11 reads the words; the first problem on the line
// is the one reported, and --help counts when it comes before any.
std::string Parse(const std::vector<std::string>& args, CRequestOptions& options) {
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::vector<std::string> words;
    std::string problem;
    // "--" included: nothing here ends the options.
    auto firstUnknown = [&app] {
        const std::vector<std::string> unknown = app.remaining();
        return unknown.empty() ? std::string() : unknown.front();
    };
    auto open = [&] { return !options.bHelp && problem.empty() && firstUnknown().empty(); };
    const char kBadId[] = "--id needs a packet ID from 0 to 255";
    app.add_flag("--vask", options.bVask);
    app.add_flag("--json", options.bJson);
    app.add_flag_callback("-h,--help", [&] { options.bHelp = options.bHelp || open(); })
        ->trigger_on_parse();
    app.add_option_function<std::string>("--id",
                                         [&](const std::string& text) {
                                             if (open() && !ParseNumber(text, options.nPacketID)) {
                                                 problem = kBadId;
                                             }
                                         })
        ->trigger_on_parse()
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("words", words);
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError&) {
        if (open()) {
            problem = args.back() == "--id" ? kBadId : "unknown option " + args.back();
        }
    }
    if (!problem.empty() || options.bHelp) {
        return problem;
    }
    // A word in option form that CLI11 takes as a value ("-5") is no word here.
    for (const std::string& w : words) {
        if (w.size() > 1 && w[0] == '-' && firstUnknown().empty()) {
            return "unknown option " + w;
        }
    }
    if (!firstUnknown().empty()) {
        return "unknown option " + firstUnknown();
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

std::string FailureJson(const std::string& reason) {
    CJsonWriter json;
    json.BeginObject().Key("ok").Bool(false).Key("error").String(reason).EndObject();
    return json.GetText();
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
            m_out << FailureJson(reason) << "\n";
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
            CJsonWriter json;
            json.BeginObject().Key("serial_number").Int(serial).Key("sw_version").Int(version);
            json.Key("product_code").Int(product).Key("battery_level").Int(battery);
            json.Key("calibration").BeginObject().Key("day").Int(day).Key("month").Int(month);
            json.Key("year").Int(year).EndObject().EndObject();
            m_out << json.GetText() << "\n";
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
            CJsonWriter json;
            json.BeginObject().Key("settings").BeginArray();
            for (int i = 0; i < 9; ++i) {
                json.Int(settings.wValue[i]);
            }
            m_out << json.EndArray().EndObject().GetText() << "\n";
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
            CJsonWriter json;
            json.BeginObject().Key("length").Int(n).Key("bytes").String(Hex(data, n)).EndObject();
            m_out << json.GetText() << "\n";
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
            CJsonWriter json;
            json.BeginObject().Key("sw_version").Int(version).Key("channel_count").Int(channels);
            m_out << json.Key("status").Int(status).EndObject().GetText() << "\n";
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
        device = std::make_unique<COndralPort>(port.c_str(), baud, lintaro::NOPARITY,
                                               lintaro::ONESTOPBIT);
    } else {
        device = std::make_unique<CTarvikPort>(port.c_str(), baud, lintaro::NOPARITY,
                                               lintaro::ONESTOPBIT);
    }
    device->SetPacketID(static_cast<unsigned char>(options.nPacketID));
    const int opened = options.bVask ? device->SetVaskMode() : device->SetSerialMode();
    if (!opened) {
        const std::string reason =
            "cannot open port " + port + ": " + lintaro::DescribeOpenError(device->GetOpenError());
        if (options.bJson) {
            out << FailureJson(reason) << "\n";
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
