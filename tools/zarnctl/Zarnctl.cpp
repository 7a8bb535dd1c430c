#include "tools/zarnctl/Zarnctl.h"

#include "tools/zarnctl/LoggerCommands.h"

#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/PostgresUrl.h"
#include "network/ZarnPort.h"
#include "records/BatchFile.h"
#include "records/CsvWriter.h"
#include "records/CurveFile.h"
#include "records/JsonWriter.h"
#include "records/RecordExport.h"
#include "records/TextFormat.h"
#include "records/TimeText.h"
#include "serial/CommApi.h"
#include "serial/PortList.h"

#include <quorvel/Version.h>

#include <algorithm>
#include <cctype>
#include <istream>
#include <optional>
#include <ostream>
#include <utility>

namespace {

using GetWord = int (CZarnPort::*)(unsigned int, unsigned short*);
using SetWord = int (CZarnPort::*)(unsigned int, unsigned short);

struct WordParameter {
    const char* pszName;  // as on the command line and in JSON
    const char* pszLabel; // for people
    bool bHundredths;     // shown as hundredths as well, like the press properties do
    GetWord get;
    SetWord set;
};

const WordParameter kWords[] = {
    {"blo", "BLO", false, &CZarnPort::GetBLO, &CZarnPort::SetBLO},
    {"tfactor", "T factor", true, &CZarnPort::GetTFactor, &CZarnPort::SetTFactor},
    {"dfactor", "D factor", true, &CZarnPort::GetDFactor, &CZarnPort::SetDFactor},
    {"sfactor", "S factor", true, &CZarnPort::GetSFactor, &CZarnPort::SetSFactor},
    {"teach", "teach cycles", false, nullptr, &CZarnPort::SetTeachCycles},
};

const WordParameter* FindWord(const std::string& name) {
    for (const WordParameter& w : kWords) {
        if (name == w.pszName) {
            return &w;
        }
    }
    return nullptr;
}

std::string WordText(const WordParameter& w, unsigned value) {
    std::string text = std::to_string(value);
    if (w.bHundredths) {
        text += " (" + FormatHundredths(value) + ")";
    }
    return text;
}

// Failures after which no further node can answer: the port or the line itself is at fault.
bool IsLineFault(ZarnError error) {
    return error == ZarnError::portClosed || error == ZarnError::writeFailed ||
           error == ZarnError::noEcho || error == ZarnError::lineLost;
}

std::string NodeLabel(unsigned node) {
    return "node " + PadLeft(std::to_string(node), 3);
}

// Values in rows of ten, each row led by the index of its first value.
void WriteValueRows(std::ostream& out, const tagPOINT* points, std::size_t count) {
    const std::size_t indexWidth = count > 1 ? std::to_string(count - 1).size() : 1;
    for (std::size_t i = 0; i < count; i += 10) {
        out << "  " << PadLeft(std::to_string(i), indexWidth) << ":";
        for (std::size_t k = i; k < std::min(count, i + 10); ++k) {
            out << PadLeft(std::to_string(points[k].y), 6);
        }
        out << '\n';
    }
}

void WritePoints(CJsonWriter& json, const tagPOINT* points, std::size_t count) {
    json.Key("points").BeginArray();
    for (std::size_t i = 0; i < count; ++i) {
        json.BeginArray().Int(points[i].x).Int(points[i].y).EndArray();
    }
    json.EndArray();
}

const char* const kStatsHeadings[] = {"good", "bad",  "total",  "%good", "%bad", "min",
                                      "max",  "mean", "stddev", "cp",    "cpk",  "BLO"};
constexpr std::size_t kStatsColumn = 8;

std::string StatsHeader() {
    std::string line = "node";
    for (const char* h : kStatsHeadings) {
        line += PadLeft(h, kStatsColumn);
    }
    return line;
}

std::string StatsRow(const CStats& s) {
    const unsigned long total = static_cast<unsigned long>(s.m_nGood) + s.m_nBad;
    const std::string cells[] = {
        std::to_string(s.m_nGood),      std::to_string(s.m_nBad),
        std::to_string(total),          FormatPercent(s.m_nGood, total),
        FormatPercent(s.m_nBad, total), std::to_string(s.m_nMin),
        std::to_string(s.m_nMax),       FormatOneDecimal(s.m_fMean),
        FormatOneDecimal(s.m_fStdDev),  FormatOneDecimal(s.m_fCp),
        FormatOneDecimal(s.m_fCpk),     std::to_string(s.m_nBLO),
    };
    std::string line;
    for (const std::string& c : cells) {
        line += PadLeft(c, kStatsColumn);
    }
    return line;
}

// A command line whose command word is "logger" or "jig": the words from there on, with the
// port and JSON options taken out wherever they stand.
bool SplitDeviceCommand(const std::vector<std::string>& args, std::vector<std::string>& group,
                        std::string& port, bool& json) {
    bool found = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if ((arg == "--port" || arg == "-p") && i + 1 < args.size()) {
            port = args[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            port = arg.substr(7);
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--yes" || arg == "-y") {
            // nothing to confirm for these devices
        } else if (found) {
            group.push_back(arg);
        } else if (arg == "logger" || arg == "jig") {
            found = true;
            group.push_back(arg);
        } else if (arg.empty() || arg[0] != '-') {
            return false; // another command
        } else {
            group.push_back(arg); // an option the device commands judge themselves
        }
    }
    return found;
}

} // namespace

int CZarnctl::Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err, bool stdinIsTerminal) {
    m_cmd = CCommandLine();
    m_pIn = &in;
    m_pOut = &out;
    m_pErr = &err;
    m_bStdinTerminal = stdinIsTerminal;
    m_nProgressWidth = 0;
    m_bCarriedChange = false;

    int result = RunCommand(args);
    out.flush();
    // A report that never reached its reader (a full disk, a closed pipe) is no success.
    if (!out && result != kExitUsage) {
        err << "zarnctl: the output could not be written\n";
        if (result == kExitOk) {
            result = kExitFailed;
        }
    }
    err.flush();
    return result;
}

int CZarnctl::RunCommand(const std::vector<std::string>& args) {
    // The data logger and the wave jig speak their own protocol on the same kind of port.
    std::vector<std::string> deviceArgs;
    std::string devicePort = CCommandLine::kDefaultPort;
    bool deviceJson = false;
    if (SplitDeviceCommand(args, deviceArgs, devicePort, deviceJson)) {
        return RunLoggerCommand(deviceArgs, devicePort, deviceJson, false, *m_pOut, *m_pErr);
    }
    if (!m_cmd.Parse(args)) {
        return UsageError(m_cmd.GetError());
    }
    const ZarnctlCommand command = m_cmd.m_command;
    if (command == ZarnctlCommand::help) {
        *m_pOut << CCommandLine::GetHelpText();
        return kExitOk;
    }
    if (command == ZarnctlCommand::version) {
        *m_pOut << "zarnctl " << kQuorvelVersion << '\n';
        return kExitOk;
    }
    if (command == ZarnctlCommand::ports) {
        return Ports();
    }
    if (command == ZarnctlCommand::exportFile) {
        return Export();
    }
    if (command == ZarnctlCommand::history) {
        return History();
    }
    // Without a terminal nobody can be asked, so an unattended run has to say yes beforehand.
    if ((command == ZarnctlCommand::reset || command == ZarnctlCommand::reference) &&
        !m_cmd.m_bYes && !m_bStdinTerminal) {
        return UsageError(m_cmd.m_strCommand +
                          " needs --yes when standard input is not a terminal");
    }

    CZarnPort port(m_cmd.m_strPort.c_str(), kBaudRate, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    if (!OpenPort(port)) {
        return kExitPort;
    }
    // The commands that talk to the analysers on the open port.
    using Runner = int (CZarnctl::*)(CZarnPort&);
    static const std::pair<ZarnctlCommand, Runner> kRunners[] = {
        {ZarnctlCommand::ping, &CZarnctl::Ping},   {ZarnctlCommand::scan, &CZarnctl::Scan},
        {ZarnctlCommand::get, &CZarnctl::Get},     {ZarnctlCommand::set, &CZarnctl::Set},
        {ZarnctlCommand::reset, &CZarnctl::Order}, {ZarnctlCommand::reference, &CZarnctl::Order},
        {ZarnctlCommand::curve, &CZarnctl::Curve}, {ZarnctlCommand::batch, &CZarnctl::Batch},
        {ZarnctlCommand::stats, &CZarnctl::Stats},
    };
    for (const auto& [which, run] : kRunners) {
        if (which == command) {
            const int result = (this->*run)(port);
            // Whatever was asked for, an analyser may have been changed behind the operator's back.
            return m_bCarriedChange ? kExitFailed : result;
        }
    }
    return kExitFailed;
}

std::string CZarnctl::FailureReason(const CZarnPort& port) {
    const std::optional<CZarnRequest>& carried = port.GetCarriedRequest();
    if (port.GetLastError() == ZarnError::otherRequest && carried && carried->ChangesAnalyser()) {
        m_bCarriedChange = true;
        ClearProgress();
        *m_pErr << "zarnctl: warning: noise on the line turned a request into \""
                << carried->Describe() << "\"; node " << unsigned{carried->m_nNodeID}
                << " may have carried it out\n";
        m_pErr->flush();
    }
    return port.GetLastErrorText();
}

int CZarnctl::UsageError(const std::string& message) {
    *m_pErr << "zarnctl: " << message << '\n'
            << m_cmd.GetUsageLine() << '\n'
            << "Try 'zarnctl --help' for more information.\n";
    m_pErr->flush();
    return kExitUsage;
}

int CZarnctl::OpenPort(CZarnPort& port) {
    if (port.SetCommPort()) {
        return 1;
    }
    const std::string reason = lintaro::DescribeOpenError(port.GetOpenError());
    std::string name = m_cmd.m_strPort;
    const std::string path = lintaro::CommDevicePath(name);
    if (path != name) {
        name += " (" + path + ")";
    }
    *m_pErr << "zarnctl: cannot open " << name << ": " << reason << '\n';
    m_pErr->flush();
    if (m_cmd.m_bJson) {
        CJsonWriter json;
        json.BeginObject();
        json.Key("ok").Bool(false);
        json.Key("error").String(reason);
        json.Key("port").String(m_cmd.m_strPort);
        json.EndObject();
        Emit(json);
    }
    return 0;
}

void CZarnctl::Emit(const CJsonWriter& json) {
    *m_pOut << json.GetText() << '\n';
    m_pOut->flush();
}

void CZarnctl::ReportFailure(unsigned node, const std::string& action, const std::string& reason) {
    *m_pErr << "zarnctl: node " << node << ": " << action << " failed: " << reason << '\n';
}

void CZarnctl::EmitNodeResult(unsigned node, bool ok, const std::string& reason) {
    CJsonWriter json;
    json.BeginObject().Key("node").Int(node).Key("ok").Bool(ok);
    if (!ok) {
        json.Key("error").String(reason);
    }
    json.EndObject();
    Emit(json);
}

int CZarnctl::ReportOrder(const CZarnPort& port, unsigned node, int ok, const std::string& doneText,
                          const std::string& action) {
    const std::string reason = ok ? "" : FailureReason(port);
    if (m_cmd.m_bJson) {
        EmitNodeResult(node, ok != 0, reason);
    } else if (ok) {
        *m_pOut << NodeLabel(node) << doneText;
    } else {
        ReportFailure(node, action, reason);
    }
    return ok ? kExitOk : kExitFailed;
}

int CZarnctl::Ports() {
    const std::vector<CSerialPortInfo> ports = ListSerialPorts();
    if (m_cmd.m_bJson) {
        CJsonWriter json;
        json.BeginObject().Key("ports").BeginArray();
        for (const CSerialPortInfo& p : ports) {
            json.BeginObject().Key("name").String(p.strName).Key("device").String(p.strDevice);
            // Only what the system knows: a member that would be empty is left out.
            const std::pair<const char*, const std::string*> known[] = {
                {"driver", &p.strDriver},
                {"uart", &p.strUartType},
                {"vendor_id", &p.strVendorId},
                {"product_id", &p.strProductId},
                {"manufacturer", &p.strManufacturer},
                {"product", &p.strProduct},
                {"serial", &p.strSerial},
            };
            for (const auto& [key, value] : known) {
                if (!value->empty()) {
                    json.Key(key).String(*value);
                }
            }
            json.Key("description").String(p.Describe()).EndObject();
        }
        json.EndArray().EndObject();
        Emit(json);
        return kExitOk;
    }
    if (ports.empty()) {
        *m_pOut << "no serial ports found\n";
    }
    std::size_t width = 0;
    for (const CSerialPortInfo& p : ports) {
        width = std::max(width, p.strName.size());
    }
    for (const CSerialPortInfo& p : ports) {
        const std::string text = p.Describe();
        *m_pOut << (text.empty() ? p.strName : PadRight(p.strName, width) + "  " + text) << '\n';
    }
    m_pOut->flush();
    return kExitOk;
}

int CZarnctl::Ping(CZarnPort& port) {
    CJsonWriter json;
    json.BeginObject().Key("nodes").BeginArray();
    bool all = true;
    for (unsigned node : m_cmd.m_nodes) {
        const bool online = port.RequestACK(static_cast<unsigned char>(node)) != 0;
        const std::string reason = online ? "" : FailureReason(port);
        all = all && online;
        json.BeginObject().Key("node").Int(node).Key("online").Bool(online);
        if (!online) {
            json.Key("error").String(reason);
        }
        json.EndObject();
        if (!m_cmd.m_bJson) {
            *m_pOut << NodeLabel(node) << (online ? "  online" : "  offline: " + reason) << '\n';
            m_pOut->flush();
        }
    }
    json.EndArray().EndObject();
    if (m_cmd.m_bJson) {
        Emit(json);
    }
    return all ? kExitOk : kExitFailed;
}

void CZarnctl::ShowProgress(const std::string& text) {
    if (!m_bStderrTerminal) {
        return;
    }
    *m_pErr << '\r' << text;
    if (text.size() < m_nProgressWidth) {
        *m_pErr << std::string(m_nProgressWidth - text.size(), ' ') << '\r' << text;
    }
    m_nProgressWidth = text.size();
    m_pErr->flush();
}

void CZarnctl::ClearProgress() {
    if (!m_bStderrTerminal || m_nProgressWidth == 0) {
        return;
    }
    *m_pErr << '\r' << std::string(m_nProgressWidth, ' ') << '\r';
    m_pErr->flush();
    m_nProgressWidth = 0;
}

int CZarnctl::Scan(CZarnPort& port) {
    const unsigned first = m_cmd.m_nFirst;
    const unsigned last = m_cmd.m_nLast;
    const unsigned total = last - first + 1;
    std::vector<unsigned> found;
    std::string lineFault;
    unsigned stoppedAt = 0;
    for (unsigned node = first; node <= last; ++node) {
        ShowProgress("scanning node " + std::to_string(node) + " (" +
                     std::to_string(node - first + 1) + " of " + std::to_string(total) + "), " +
                     std::to_string(found.size()) + " found");
        if (port.RequestACKWithin(static_cast<unsigned char>(node), m_cmd.m_nTimeoutMs)) {
            found.push_back(node);
            if (!m_cmd.m_bJson) {
                ClearProgress();
                *m_pOut << NodeLabel(node) << "  online\n";
                m_pOut->flush();
            }
            continue;
        }
        // A silent node is what a scan expects; a line that no longer carries the requests
        // would only make every remaining node wait out its time-out.
        const std::string reason = FailureReason(port);
        if (IsLineFault(port.GetLastError())) {
            lineFault = reason;
            stoppedAt = node;
            break;
        }
    }
    ClearProgress();

    if (m_cmd.m_bJson) {
        CJsonWriter json;
        json.BeginObject().Key("nodes").BeginArray();
        for (unsigned node : found) {
            json.BeginObject().Key("node").Int(node).Key("online").Bool(true).EndObject();
        }
        json.EndArray();
        if (!lineFault.empty()) {
            json.Key("ok").Bool(false).Key("error").String(lineFault);
        }
        json.EndObject();
        Emit(json);
    } else {
        if (!lineFault.empty()) {
            *m_pErr << "zarnctl: scan stopped at node " << stoppedAt << ": " << lineFault << '\n';
        }
        if (found.empty()) {
            *m_pOut << "no node answered in " << first << "-" << last << '\n';
        } else if (!lineFault.empty()) {
            *m_pOut << found.size() << (found.size() == 1 ? " node" : " nodes")
                    << " answered before the scan stopped\n";
        } else {
            *m_pOut << found.size() << " of " << total << (total == 1 ? " node" : " nodes")
                    << " answered\n";
        }
    }
    return lineFault.empty() && !found.empty() ? kExitOk : kExitFailed;
}

int CZarnctl::Get(CZarnPort& port) {
    const unsigned node = m_cmd.m_nodes.front();
    const std::string& what = m_cmd.m_strWhat;
    CJsonWriter json;
    json.BeginObject().Key("node").Int(node);
    std::string text; // the report for people, lines after the first indented
    int ok = 0;
    std::string action = "reading " + what;

    if (const WordParameter* w = FindWord(what); w && w->get) {
        unsigned short v = 0;
        ok = (port.*(w->get))(node, &v);
        if (ok) {
            json.Key(what).Int(v);
            text = NodeLabel(node) + "  " + w->pszLabel + " " + WordText(*w, v) + "\n";
        }
    } else if (what == "peak") {
        int v = 0;
        ok = port.GetPeakForce(node, &v);
        if (ok) {
            json.Key("peak").Int(v);
            text = NodeLabel(node) + "  peak force " + std::to_string(v) + "\n";
        }
    } else if (what == "zones") {
        int z[5] = {};
        ok = port.GetZoneInfo(node, &z[0], &z[1], &z[2], &z[3], &z[4]);
        if (ok) {
            json.Key("zones").BeginArray();
            for (int v : z) {
                json.Int(v);
            }
            json.EndArray();
            static const char* const kLabels[] = {"zone 1 start", "zone 2 start", "zone 3 start",
                                                  "zone 4 position", "zone 4 extent"};
            text = NodeLabel(node) + "  zones\n";
            for (int i = 0; i < 5; ++i) {
                text += "  " + PadRight(kLabels[i], 16) + PadLeft(std::to_string(z[i]), 6) + "\n";
            }
        }
    } else if (what == "results") {
        short rs[4] = {};
        unsigned short ru[4] = {};
        ok = port.GetResultInfo(node, &rs[0], &rs[1], &rs[2], &rs[3], &ru[0], &ru[1], &ru[2],
                                &ru[3]);
        if (ok) {
            json.Key("rs").BeginArray();
            for (short v : rs) {
                json.Int(v);
            }
            json.EndArray().Key("ru").BeginArray();
            for (unsigned short v : ru) {
                json.Int(v);
            }
            json.EndArray();
            static const char* const kSuffix[] = {"1", "2", "3", "O"};
            std::string rsHead, rsVals, ruHead, ruVals;
            for (int i = 0; i < 4; ++i) {
                rsHead += PadLeft(std::string("RS") + kSuffix[i], 8);
                rsVals += PadLeft(std::to_string(rs[i]), 8);
                ruHead += PadLeft(std::string("RU") + kSuffix[i], 8);
                ruVals += PadLeft(std::to_string(ru[i]), 8);
            }
            text = NodeLabel(node) + "  results\n" + rsHead + "\n" + rsVals + "\n" + ruHead + "\n" +
                   ruVals + "\n";
        }
    } else if (what == "counts") {
        unsigned int pass = 0, fail = 0;
        ok = port.GetPassFailCount(node, &pass, &fail);
        if (ok) {
            json.Key("pass").Int(pass).Key("fail").Int(fail);
            const unsigned long total = static_cast<unsigned long>(pass) + fail;
            text = NodeLabel(node) + "  pass " + std::to_string(pass) + "  fail " +
                   std::to_string(fail) + "  (total " + std::to_string(total) + ", " +
                   FormatPercent(pass, total) + " pass)\n";
        }
        action = "reading the pass and fail counts";
    }

    std::string reason;
    if (!ok) {
        reason = FailureReason(port);
        json.Key("ok").Bool(false).Key("error").String(reason);
    }
    json.EndObject();
    if (m_cmd.m_bJson) {
        Emit(json);
    } else if (ok) {
        *m_pOut << text;
    } else {
        ReportFailure(node, action, reason);
    }
    return ok ? kExitOk : kExitFailed;
}

int CZarnctl::Set(CZarnPort& port) {
    const unsigned node = m_cmd.m_nodes.front();
    const WordParameter* w = FindWord(m_cmd.m_strWhat);
    if (w == nullptr || w->set == nullptr) {
        return UsageError("set: unknown value '" + m_cmd.m_strWhat + "'");
    }
    const auto value = static_cast<unsigned short>(m_cmd.m_nValue);
    const int ok = (port.*(w->set))(node, value);
    return ReportOrder(port, node, ok,
                       std::string("  ") + w->pszLabel + " set to " + WordText(*w, value) + "\n",
                       std::string("setting ") + w->pszLabel);
}

int CZarnctl::Confirm(const std::string& question) {
    *m_pErr << question << " [y/N] ";
    m_pErr->flush();
    std::string answer;
    if (!std::getline(*m_pIn, answer)) {
        *m_pErr << '\n';
        return 0;
    }
    std::string word;
    for (char c : answer) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return word == "y" || word == "yes" ? 1 : 0;
}

int CZarnctl::Order(CZarnPort& port) {
    const unsigned node = m_cmd.m_nodes.front();
    const bool reset = m_cmd.m_command == ZarnctlCommand::reset;
    const std::string nodeText = std::to_string(node);
    if (!m_cmd.m_bYes) {
        const std::string question =
            reset ? "Clear the batch buffer of node " + nodeText + "? Its batch data will be lost."
                  : "Take a new reference on node " + nodeText + "?";
        if (!Confirm(question)) {
            if (m_cmd.m_bJson) {
                EmitNodeResult(node, false, "not confirmed");
            } else {
                *m_pErr << "zarnctl: not confirmed; nothing was sent to node " << node << '\n';
            }
            return kExitFailed;
        }
    }
    const int ok = reset ? port.ResetBatchBuffer(node) : port.NewReference(node);
    return ReportOrder(port, node, ok,
                       reset ? "  batch buffer cleared\n" : "  taking a new reference\n",
                       reset ? "clearing the batch buffer" : "ordering a new reference");
}

int CZarnctl::Curve(CZarnPort& port) {
    if (!m_cmd.m_strSave.empty() || m_cmd.m_bCsv) {
        return FullCurve(port);
    }
    const unsigned node = m_cmd.m_nodes.front();
    const bool reference = m_cmd.m_bReference;
    std::vector<tagPOINT> points(CZarnPort::kCurvePoints, tagPOINT{0, 0});
    const auto nodeByte = static_cast<unsigned char>(node);
    const int ok = reference ? port.DownloadReference(nodeByte, points.data())
                             : port.DownloadForceCurve(nodeByte, points.data());
    const std::string reason = ok ? "" : FailureReason(port);
    const char* kind = reference ? "reference" : "force";
    if (m_cmd.m_bJson) {
        CJsonWriter json;
        json.BeginObject().Key("node").Int(node).Key("curve").String(kind);
        if (ok) {
            WritePoints(json, points.data(), points.size());
        } else {
            json.Key("ok").Bool(false).Key("error").String(reason);
        }
        json.EndObject();
        Emit(json);
    } else if (ok) {
        const auto peak =
            std::max_element(points.begin(), points.end(),
                             [](const tagPOINT& a, const tagPOINT& b) { return a.y < b.y; });
        *m_pOut << NodeLabel(node) << "  " << kind << " curve, " << points.size()
                << " points, peak " << peak->y << " at sample " << peak->x << '\n';
        WriteValueRows(*m_pOut, points.data(), points.size());
    } else {
        ReportFailure(node, std::string("downloading the ") + kind + " curve", reason);
    }
    return ok ? kExitOk : kExitFailed;
}

void CZarnctl::WriteStatsMembers(CJsonWriter& json, const CStats& stats) {
    CRecordExport::WriteStatsMembers(json, stats);
}

int CZarnctl::Batch(CZarnPort& port) {
    const unsigned node = m_cmd.m_nodes.front();
    CStats stats;
    stats.m_nNodeID = static_cast<int>(node);
    const int statsOk = port.GetStatistics(node, stats);
    const std::string statsReason = statsOk ? "" : FailureReason(port);

    std::vector<tagPOINT> points(kBatchCapacity, tagPOINT{0, 0});
    unsigned short count = 0;
    const int ok = port.DownloadBatchBuffer(static_cast<unsigned char>(node), points.data(), &count,
                                            stats, kBatchCapacity);
    const std::string reason = ok ? "" : FailureReason(port);
    // The library never reports more entries than it was given room for; stay safe regardless.
    const std::size_t n = std::min<std::size_t>(count, points.size());

    CBatchRecord record;
    record.m_nTimeMs = CTimeText::NowUtcMs();
    record.m_nNodeID = static_cast<int>(node);
    record.m_strStation = StationName(node);
    record.m_strTitle = "Batch Buffer  - " + record.m_strStation + " (Node - " +
                        std::to_string(node) + ") (" + CTimeText::FormatLocal(record.m_nTimeMs) +
                        ")";
    record.m_points.assign(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(n));
    record.m_stats = stats;
    record.m_bHasStats = statsOk != 0;
    bool saved = false;
    if (ok && !m_cmd.m_strSave.empty()) {
        std::string why;
        saved = CBatchFile::WriteFile(m_cmd.m_strSave, record, &why);
        if (!saved) {
            *m_pErr << "zarnctl: cannot write " << m_cmd.m_strSave << ": " << why << '\n';
        }
    }
    const bool saveFailed = !m_cmd.m_strSave.empty() && !saved;

    if (m_cmd.m_bCsv) {
        if (ok) {
            CRecordExport::WriteBatchCsv(*m_pOut, record);
        } else {
            ReportFailure(node, "downloading the batch buffer", reason);
        }
        if (!statsOk) {
            ReportFailure(node, "reading the batch statistics", statsReason);
        }
    } else if (m_cmd.m_bJson) {
        CJsonWriter json;
        json.BeginObject().Key("node").Int(node).Key("ok").Bool(ok != 0);
        if (!ok) {
            json.Key("error").String(reason);
        }
        json.Key("count").Int(static_cast<long long>(n));
        json.Key("batch_max").Int(stats.m_nBatchMax);
        WritePoints(json, points.data(), n);
        json.Key("stats_ok").Bool(statsOk != 0);
        if (statsOk) {
            json.Key("stats").BeginObject();
            WriteStatsMembers(json, stats);
            json.EndObject();
        } else {
            json.Key("stats_error").String(statsReason);
        }
        if (saved) {
            json.Key("saved").String(m_cmd.m_strSave);
        }
        json.EndObject();
        Emit(json);
    } else {
        std::ostream& out = *m_pOut;
        out << NodeLabel(node) << "  batch statistics\n";
        if (statsOk) {
            out << StatsHeader() << '\n'
                << PadLeft(std::to_string(node), 4) << StatsRow(stats) << '\n';
        } else {
            ReportFailure(node, "reading the batch statistics", statsReason);
        }
        out << NodeLabel(node) << "  batch buffer, " << n << (n == 1 ? " entry" : " entries");
        if (n > 0) {
            out << ", largest " << stats.m_nBatchMax;
        }
        out << (ok ? "" : " (incomplete)") << '\n';
        WriteValueRows(out, points.data(), n);
        if (!ok) {
            ReportFailure(node, "downloading the batch buffer", reason);
        }
        if (saved) {
            out << NodeLabel(node) << "  batch saved to " << m_cmd.m_strSave << '\n';
        }
    }
    return ok && statsOk && !saveFailed ? kExitOk : kExitFailed;
}

int CZarnctl::Stats(CZarnPort& port) {
    CJsonWriter json;
    json.BeginObject().Key("nodes").BeginArray();
    bool all = true;
    CCsvWriter csv(*m_pOut);
    if (m_cmd.m_bCsv) {
        CRecordExport::WriteStatsCsvHeading(csv);
    } else if (!m_cmd.m_bJson) {
        *m_pOut << StatsHeader() << '\n';
    }
    for (unsigned node : m_cmd.m_nodes) {
        CStats stats;
        stats.m_nNodeID = static_cast<int>(node);
        const int ok = port.GetStatistics(node, stats);
        all = all && ok;
        if (m_cmd.m_bCsv) {
            // A node that did not answer has no line; standard error says why.
            if (ok) {
                CRecordExport::WriteStatsCsvRow(csv, CTimeText::NowUtcMs(), "",
                                                static_cast<int>(node), stats);
                m_pOut->flush();
            } else {
                ReportFailure(node, "reading the statistics", ZarnErrorText(port.GetLastError()));
            }
            continue;
        }
        json.BeginObject().Key("node").Int(node).Key("ok").Bool(ok != 0);
        const std::string reason = ok ? "" : FailureReason(port);
        if (ok) {
            WriteStatsMembers(json, stats);
        } else {
            json.Key("error").String(reason);
        }
        json.EndObject();
        if (!m_cmd.m_bJson) {
            *m_pOut << PadLeft(std::to_string(node), 4)
                    << (ok ? StatsRow(stats) : "  failed: " + reason) << '\n';
            m_pOut->flush();
        }
    }
    json.EndArray().EndObject();
    if (m_cmd.m_bJson) {
        Emit(json);
    }
    return all ? kExitOk : kExitFailed;
}

std::string CZarnctl::StationName(unsigned node) const {
    // The program's default layout names the station of node N "Station N".
    return m_cmd.m_strStation.empty() ? "Station " + std::to_string(node) : m_cmd.m_strStation;
}

int CZarnctl::FullCurve(CZarnPort& port) {
    const unsigned node = m_cmd.m_nodes.front();
    const auto nodeByte = static_cast<unsigned char>(node);
    CCurveRecord curve;
    curve.m_nTimeMs = CTimeText::NowUtcMs();
    curve.m_nNodeID = static_cast<int>(node);
    curve.m_strStation = StationName(node);
    curve.m_strTitle = "Downloaded Curve - " + curve.m_strStation + " (Node - " +
                       std::to_string(node) + ") (" + CTimeText::FormatLocal(curve.m_nTimeMs) + ")";
    // The same requests in the same order as the program's curve window makes them.
    const int ok =
        port.DownloadForceCurve(nodeByte, curve.m_pForce.data()) &&
        port.DownloadReference(nodeByte, curve.m_pReference.data()) &&
        port.GetZoneInfo(node, &curve.m_nZoneInfo[0], &curve.m_nZoneInfo[1], &curve.m_nZoneInfo[2],
                         &curve.m_nZoneInfo[3], &curve.m_nZoneInfo[4]) &&
        port.GetPeakForce(node, &curve.m_nPeakForce) &&
        port.GetResultInfo(node, &curve.m_nResultS[0], &curve.m_nResultS[1], &curve.m_nResultS[2],
                           &curve.m_nResultS[3], &curve.m_nResultU[0], &curve.m_nResultU[1],
                           &curve.m_nResultU[2], &curve.m_nResultU[3]) &&
        port.GetPassFailCount(node, &curve.m_nPassCount, &curve.m_nFailCount);
    curve.m_bHasResults = ok != 0;
    const std::string reason = ok ? "" : ZarnErrorText(port.GetLastError());
    const bool reference = m_cmd.m_bReference;
    const char* kind = reference ? "reference" : "force";
    if (!ok) {
        if (m_cmd.m_bJson) {
            CJsonWriter json;
            json.BeginObject().Key("node").Int(node).Key("curve").String(kind);
            json.Key("ok").Bool(false).Key("error").String(reason).EndObject();
            Emit(json);
        } else {
            ReportFailure(node, "downloading the curve", reason);
        }
        return kExitFailed;
    }
    bool saved = false;
    if (!m_cmd.m_strSave.empty()) {
        std::string why;
        saved = CCurveFile::WriteFile(m_cmd.m_strSave, curve, &why);
        if (!saved) {
            *m_pErr << "zarnctl: cannot write " << m_cmd.m_strSave << ": " << why << '\n';
        }
    }
    const std::vector<tagPOINT>& shown = reference ? curve.m_pReference : curve.m_pForce;
    const std::size_t count = CZarnPort::kCurvePoints;
    if (m_cmd.m_bCsv) {
        CRecordExport::WriteCurveCsv(*m_pOut, curve);
    } else if (m_cmd.m_bJson) {
        CJsonWriter json;
        json.BeginObject().Key("node").Int(node).Key("curve").String(kind);
        WritePoints(json, shown.data(), count);
        if (saved) {
            json.Key("saved").String(m_cmd.m_strSave);
        }
        json.EndObject();
        Emit(json);
    } else {
        const auto peak =
            std::max_element(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(count),
                             [](const tagPOINT& a, const tagPOINT& b) { return a.y < b.y; });
        *m_pOut << NodeLabel(node) << "  " << kind << " curve, " << count << " points, peak "
                << peak->y << " at sample " << peak->x << '\n';
        WriteValueRows(*m_pOut, shown.data(), count);
        if (saved) {
            *m_pOut << NodeLabel(node) << "  curve saved to " << m_cmd.m_strSave << '\n';
        }
    }
    return m_cmd.m_strSave.empty() || saved ? kExitOk : kExitFailed;
}

int CZarnctl::Export() {
    const std::string& path = m_cmd.m_strFile;
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool curveFile = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".cur") == 0;
    std::string reason;
    CCurveRecord curve;
    CBatchRecord batch;
    const bool ok = curveFile ? CCurveFile::ReadFile(path, curve, &reason)
                              : CBatchFile::ReadFile(path, batch, &reason);
    if (!ok) {
        *m_pErr << "zarnctl: " << path << ": " << reason << '\n';
        if (m_cmd.m_bJson) {
            CJsonWriter json;
            json.BeginObject().Key("ok").Bool(false).Key("error").String(reason);
            json.Key("file").String(path).EndObject();
            Emit(json);
        }
        return kExitFailed;
    }
    if (!curveFile) {
        // A batch file keeps its station and node only inside its title.
        batch.m_nNodeID = -1;
    }
    if (m_cmd.m_bJson) {
        CJsonWriter json;
        curveFile ? CRecordExport::WriteCurveJson(json, curve)
                  : CRecordExport::WriteBatchJson(json, batch);
        Emit(json);
    } else if (curveFile) {
        CRecordExport::WriteCurveCsv(*m_pOut, curve);
    } else {
        CRecordExport::WriteBatchCsv(*m_pOut, batch);
    }
    return kExitOk;
}

namespace {

std::string Cell(const std::string& text, std::size_t width) {
    return PadRight(text, width) + "  ";
}

std::string Optional(const std::optional<std::int64_t>& v) {
    return v ? std::to_string(*v) : std::string("-");
}

} // namespace

int CZarnctl::History() {
    CHistoryQuery query;
    if (!query.Open(m_cmd.m_strDb)) {
        const std::string error = CPostgresUrl::Scrubbed(query.GetError(), m_cmd.m_strDb);
        *m_pErr << "zarnctl: cannot read the history: " << error << '\n';
        if (m_cmd.m_bJson) {
            CJsonWriter json;
            json.BeginObject().Key("ok").Bool(false).Key("error").String(error);
            json.EndObject();
            Emit(json);
        }
        return kExitFailed;
    }
    CHistoryFilter filter;
    filter.m_nNodeID = m_cmd.m_nHistoryNode;
    filter.m_strStation = m_cmd.m_strStation;
    filter.m_nSince = m_cmd.m_nSince;
    filter.m_nUntil = m_cmd.m_nUntil;
    filter.m_nLimit = m_cmd.m_nLimit;
    const std::string& kind = m_cmd.m_strKind;
    std::ostream& out = *m_pOut;
    CCsvWriter csv(out);
    CJsonWriter json;
    json.BeginObject().Key("kind").String(kind).Key("records").BeginArray();
    auto shared = [&](const CHistoryEntry& e) {
        json.BeginObject();
        json.Key("time").String(CTimeText::FormatUtc(e.m_nTimeMs));
        json.Key("workstation").String(e.m_strWorkstation);
        json.Key("station").String(e.m_station.m_strName);
        json.Key("node").Int(e.m_station.m_nNodeID);
        json.Key("terminal").String(e.m_station.m_strTerminalType);
        json.Key("wire").String(e.m_station.m_strWireType);
        json.Key("serial").String(e.m_station.m_strSerialNo);
        json.Key("key").String(e.m_strKey);
    };
    auto csvShared = [&](const CHistoryEntry& e) {
        csv.Field(CTimeText::FormatUtc(e.m_nTimeMs)).Field(e.m_station.m_strName);
        csv.Int(e.m_station.m_nNodeID).Field(e.m_strWorkstation);
    };
    auto textShared = [&](const CHistoryEntry& e) {
        return Cell(CTimeText::FormatUtc(e.m_nTimeMs), 24) + Cell(e.m_strWorkstation, 12) +
               Cell(e.m_station.m_strName, 12) + PadLeft(std::to_string(e.m_station.m_nNodeID), 4);
    };
    const std::string textHead =
        Cell("time", 24) + Cell("workstation", 12) + Cell("station", 12) + "node";
    std::size_t count = 0;
    bool ok = true;

    if (kind == "stats") {
        std::vector<CHistoryReading> rows;
        ok = query.Readings(filter, rows);
        count = rows.size();
        if (m_cmd.m_bCsv) {
            // The columns of the statistics export, then where each reading comes from.
            for (const char* h :
                 {"Time",  "Station",     "Node",     "Good", "Bad",    "Total", "%Bad",
                  "%Good", "Min",         "Max",      "Mean", "StdDev", "Cp",    "Cpk",
                  "BLO",   "Workstation", "Terminal", "Wire", "Serial", "Source"}) {
                csv.Field(h);
            }
            csv.EndRow();
        } else if (!m_cmd.m_bJson && !rows.empty()) {
            out << textHead << StatsHeader().substr(4) << '\n';
        }
        for (const CHistoryReading& r : rows) {
            if (m_cmd.m_bCsv) {
                CRecordExport::WriteStatsCsvCells(csv, r.m_nTimeMs, r.m_station.m_strName,
                                                  r.m_station.m_nNodeID, r.m_stats);
                csv.Field(r.m_strWorkstation).Field(r.m_station.m_strTerminalType);
                csv.Field(r.m_station.m_strWireType).Field(r.m_station.m_strSerialNo);
                csv.Field(r.m_strSource).EndRow();
            } else if (m_cmd.m_bJson) {
                shared(r);
                json.Key("source").String(r.m_strSource);
                WriteStatsMembers(json, r.m_stats);
                json.EndObject();
            } else {
                out << textShared(r) << StatsRow(r.m_stats) << '\n';
            }
        }
    } else if (kind == "curve") {
        std::vector<CHistoryCurve> rows;
        ok = query.Curves(filter, rows);
        count = rows.size();
        if (m_cmd.m_bCsv) {
            for (const char* h : {"Time",          "Station",      "Node",
                                  "Workstation",   "Title",        "Zone 1 start",
                                  "Zone 2 start",  "Zone 3 start", "Zone 4 position",
                                  "Zone 4 extent", "Peak",         "RS1",
                                  "RS2",           "RS3",          "RSO",
                                  "RU1",           "RU2",          "RU3",
                                  "RUO",           "Pass",         "Fail"}) {
                csv.Field(h);
            }
            csv.EndRow();
        } else if (!m_cmd.m_bJson && !rows.empty()) {
            out << textHead << "     peak   pass   fail  zones\n";
        }
        for (const CHistoryCurve& r : rows) {
            const CCurveRecord& c = r.m_curve;
            if (m_cmd.m_bCsv) {
                csvShared(r);
                csv.Field(c.m_strTitle);
                for (int z : c.m_nZoneInfo) {
                    csv.Int(z);
                }
                csv.Int(c.m_nPeakForce);
                for (short v : c.m_nResultS) {
                    csv.Int(v);
                }
                for (unsigned short v : c.m_nResultU) {
                    csv.Int(v);
                }
                csv.Int(c.m_nPassCount).Int(c.m_nFailCount).EndRow();
            } else if (m_cmd.m_bJson) {
                shared(r);
                json.Key("curve");
                CRecordExport::WriteCurveJson(json, c);
                json.EndObject();
            } else {
                std::string zones;
                for (int z : c.m_nZoneInfo) {
                    zones += " " + std::to_string(z);
                }
                out << textShared(r) << PadLeft(std::to_string(c.m_nPeakForce), 9)
                    << PadLeft(std::to_string(c.m_nPassCount), 7)
                    << PadLeft(std::to_string(c.m_nFailCount), 7) << " " << zones << '\n';
            }
        }
    } else if (kind == "batch") {
        std::vector<CHistoryBatch> rows;
        ok = query.Batches(filter, rows);
        count = rows.size();
        if (m_cmd.m_bCsv) {
            for (const char* h :
                 {"Time", "Station", "Node", "Workstation", "Title", "Entries", "Largest", "Good",
                  "Bad", "Min", "Max", "Mean", "StdDev", "Cp", "Cpk", "BLO"}) {
                csv.Field(h);
            }
            csv.EndRow();
        } else if (!m_cmd.m_bJson && !rows.empty()) {
            out << textHead << "  entries  largest" << StatsHeader().substr(4) << '\n';
        }
        for (const CHistoryBatch& r : rows) {
            const CBatchRecord& b = r.m_batch;
            const CStats& st = b.m_stats;
            if (m_cmd.m_bCsv) {
                csvShared(r);
                csv.Field(b.m_strTitle).Int(static_cast<long long>(b.m_points.size()));
                csv.Int(st.m_nBatchMax);
                if (b.m_bHasStats) {
                    csv.Int(st.m_nGood).Int(st.m_nBad).Int(st.m_nMin).Int(st.m_nMax);
                    csv.Decimal(st.m_fMean, 1).Decimal(st.m_fStdDev, 1).Decimal(st.m_fCp, 1);
                    csv.Decimal(st.m_fCpk, 1).Int(st.m_nBLO);
                } else {
                    csv.Empty().Empty().Empty().Int(st.m_nMax);
                    csv.Empty().Empty().Empty().Empty().Empty();
                }
                csv.EndRow();
            } else if (m_cmd.m_bJson) {
                shared(r);
                json.Key("batch");
                CRecordExport::WriteBatchJson(json, b);
                json.EndObject();
            } else {
                out << textShared(r) << PadLeft(std::to_string(b.m_points.size()), 9)
                    << PadLeft(std::to_string(st.m_nBatchMax), 9)
                    << (b.m_bHasStats ? StatsRow(st) : "  (no statistics)") << '\n';
            }
        }
    } else {
        std::vector<CHistoryChangeEntry> rows;
        ok = query.Changes(filter, rows);
        count = rows.size();
        if (m_cmd.m_bCsv) {
            for (const char* h : {"Time", "Station", "Node", "Workstation", "Parameter", "Before",
                                  "After", "OK", "User", "Error"}) {
                csv.Field(h);
            }
            csv.EndRow();
        } else if (!m_cmd.m_bJson && !rows.empty()) {
            out << textHead << "  change\n";
        }
        for (const CHistoryChangeEntry& r : rows) {
            const CHistoryChange& c = r.m_change;
            const char* name = CHistoryChange::ParameterName(c.m_parameter);
            if (m_cmd.m_bCsv) {
                csvShared(r);
                csv.Field(name);
                c.m_nBefore ? csv.Int(*c.m_nBefore) : csv.Empty();
                c.m_nAfter ? csv.Int(*c.m_nAfter) : csv.Empty();
                csv.Field(c.m_bOk ? "yes" : "no").Field(c.m_strUser).Field(c.m_strError);
                csv.EndRow();
            } else if (m_cmd.m_bJson) {
                shared(r);
                json.Key("parameter").String(name);
                json.Key("before");
                c.m_nBefore ? json.Int(*c.m_nBefore) : json.Null();
                json.Key("after");
                c.m_nAfter ? json.Int(*c.m_nAfter) : json.Null();
                json.Key("ok").Bool(c.m_bOk).Key("user").String(c.m_strUser);
                json.Key("error").String(c.m_strError);
                json.EndObject();
            } else {
                std::string what = std::string(name);
                if (c.m_nBefore || c.m_nAfter) {
                    what += " " + Optional(c.m_nBefore) + " -> " + Optional(c.m_nAfter);
                }
                what += c.m_bOk ? ", done" : ", failed";
                if (!c.m_strError.empty()) {
                    what += " (" + c.m_strError + ")";
                }
                out << textShared(r) << "  " << what << ", by " << c.m_strUser << '\n';
            }
        }
    }
    if (!ok) {
        *m_pErr << "zarnctl: cannot read the history: "
                << CPostgresUrl::Scrubbed(query.GetError(), m_cmd.m_strDb) << '\n';
        return kExitFailed;
    }
    json.EndArray().EndObject();
    if (m_cmd.m_bJson) {
        Emit(json);
    } else if (!m_cmd.m_bCsv && count == 0) {
        out << "no " << (kind == "stats" ? "statistics readings" : kind + "s") << " recorded\n";
    }
    return kExitOk;
}
