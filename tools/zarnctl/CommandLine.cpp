#include "tools/zarnctl/CommandLine.h"

#include "history/PostgresUrl.h"
#include "records/TimeText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>

namespace {

struct CommandInfo {
    const char* pszName;
    ZarnctlCommand command;
    const char* pszUsage; // after "zarnctl [options] "
};

const CommandInfo kCommands[] = {
    {"ping", ZarnctlCommand::ping, "ping NODE..."},
    {"scan", ZarnctlCommand::scan, "scan [FIRST-LAST] [--timeout MS]"},
    {"get", ZarnctlCommand::get, "get NODE blo|tfactor|dfactor|sfactor|peak|zones|results|counts"},
    {"set", ZarnctlCommand::set, "set NODE blo|tfactor|dfactor|sfactor|teach VALUE"},
    {"reset", ZarnctlCommand::reset, "reset NODE"},
    {"reference", ZarnctlCommand::reference, "reference NODE"},
    {"curve", ZarnctlCommand::curve,
     "curve NODE [--reference] [--csv] [--save FILE.cur] [--station NAME]"},
    {"batch", ZarnctlCommand::batch, "batch NODE [--csv] [--save FILE.buf] [--station NAME]"},
    {"stats", ZarnctlCommand::stats, "stats NODE... [--csv]"},
    {"ports", ZarnctlCommand::ports, "ports"},
    {"export", ZarnctlCommand::exportFile, "export FILE.cur|FILE.buf [--csv|--json]"},
    {"history", ZarnctlCommand::history,
     "history [--node N|--station NAME] [--since TIME] [--until TIME] "
     "[--kind stats|curve|batch|change] [--limit N] [--csv|--json] [--db PATH|URL]"},
    {"help", ZarnctlCommand::help, "help"},
};

const char* const kGettable[] = {"blo",  "tfactor", "dfactor", "sfactor",
                                 "peak", "zones",   "results", "counts"};
const char* const kSettable[] = {"blo", "tfactor", "dfactor", "sfactor", "teach"};
const char* const kKinds[] = {"stats", "curve", "batch", "change"};

template <std::size_t N> bool OneOf(const std::string& word, const char* const (&list)[N]) {
    return std::find_if(std::begin(list), std::end(list),
                        [&](const char* p) { return word == p; }) != std::end(list);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// A leading '-' followed by a digit is a (bad) number, not an option.
bool LooksLikeOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-' && !std::isdigit(static_cast<unsigned char>(arg[1]));
}

} // namespace

int CCommandLine::Fail(const std::string& error) {
    // A misplaced database URL is quoted back: never with its password.
    m_strError = CPostgresUrl::Masked(error);
    return 0;
}

int CCommandLine::ParseNumber(const std::string& text, unsigned long max, unsigned long& value) {
    std::string digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
        base = 16;
    }
    if (digits.empty() || digits.size() > 12) {
        return 0;
    }
    for (char c : digits) {
        const auto u = static_cast<unsigned char>(c);
        if (base == 10 ? !std::isdigit(u) : !std::isxdigit(u)) {
            return 0;
        }
    }
    errno = 0;
    const unsigned long long v = std::strtoull(digits.c_str(), nullptr, base);
    if (errno != 0 || v > max) {
        return 0;
    }
    value = static_cast<unsigned long>(v);
    return 1;
}

int CCommandLine::ParseRange(const std::string& text, unsigned& first, unsigned& last) {
    const std::size_t dash = text.find('-');
    unsigned long a = 0, b = 0;
    if (dash == std::string::npos) {
        if (!ParseNumber(text, 255, a)) {
            return 0;
        }
        b = a;
    } else if (!ParseNumber(text.substr(0, dash), 255, a) ||
               !ParseNumber(text.substr(dash + 1), 255, b) || a > b) {
        return 0;
    }
    first = static_cast<unsigned>(a);
    last = static_cast<unsigned>(b);
    return 1;
}

int CCommandLine::ParseNode(const std::string& text, unsigned& node) {
    unsigned long v = 0;
    if (!ParseNumber(text, 255, v)) {
        return Fail("bad node ID '" + text + "' (a number from 0 to 255)");
    }
    node = static_cast<unsigned>(v);
    return 1;
}

int CCommandLine::ParseValueOption(const std::string& option, const std::string& value) {
    if (option == "--save") {
        m_strSave = value;
    } else if (option == "--station") {
        m_strStation = value;
    } else if (option == "--node") {
        unsigned node = 0;
        if (!ParseNode(value, node)) {
            return 0;
        }
        m_nHistoryNode = static_cast<int>(node);
        m_bNodeOption = true;
    } else if (option == "--since" || option == "--until") {
        std::int64_t ms = 0;
        if (!CTimeText::ParseUtc(value, ms)) {
            return Fail("bad time '" + value +
                        "' (ISO 8601, e.g. 2024-05-01 or 2024-05-01T06:00Z; UTC unless a zone "
                        "is given)");
        }
        (option == "--since" ? m_nSince : m_nUntil) = ms;
        m_bSinceOrUntil = true;
    } else if (option == "--kind") {
        m_strKind = Lower(value);
        if (!OneOf(m_strKind, kKinds)) {
            return Fail("--kind: unknown kind '" + value + "' (stats, curve, batch or change)");
        }
        m_bKind = true;
    } else if (option == "--db") {
        m_strDb = value;
        m_bDb = true;
    } else if (option == "--limit") {
        unsigned long n = 0;
        if (!ParseNumber(value, 100000000, n) || n == 0) {
            return Fail("--limit: '" + value + "' is not a count from 1 up");
        }
        m_nLimit = static_cast<unsigned>(n);
        m_bLimit = true;
    }
    return 1;
}

int CCommandLine::CheckOptionsFit() {
    const ZarnctlCommand c = m_command;
    const bool history = c == ZarnctlCommand::history;
    if (m_bCsv && m_bJson) {
        return Fail("--csv and --json exclude each other");
    }
    if (m_bCsv && c != ZarnctlCommand::curve && c != ZarnctlCommand::batch &&
        c != ZarnctlCommand::stats && c != ZarnctlCommand::exportFile && !history) {
        return Fail("--csv goes only with curve, batch, stats, export and history");
    }
    if (!m_strSave.empty() && c != ZarnctlCommand::curve && c != ZarnctlCommand::batch) {
        return Fail("--save goes only with curve and batch");
    }
    if (!m_strStation.empty() && c != ZarnctlCommand::curve && c != ZarnctlCommand::batch &&
        !history) {
        return Fail("--station goes only with curve, batch and history");
    }
    if ((m_bNodeOption || m_bSinceOrUntil || m_bKind || m_bDb || m_bLimit) && !history) {
        return Fail("--node, --since, --until, --kind, --limit and --db go only with history");
    }
    if (history && m_bNodeOption && !m_strStation.empty()) {
        return Fail("history: give --node or --station, not both");
    }
    return 1;
}

int CCommandLine::Parse(const std::vector<std::string>& args) {
    // CLI11 reads the words; what is wrong is judged and worded here. The first problem on the
    // line is the one reported, and --help counts when it comes before any.
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::vector<std::string> positional;
    std::string problem;
    bool help = false;
    auto firstUnknown = [&app] {
        for (const std::string& arg : app.remaining()) {
            if (arg != "--") {
                return arg;
            }
        }
        return std::string();
    };
    auto open = [&] { return !help && problem.empty() && firstUnknown().empty(); };
    auto value = [&](const std::string& name, const std::function<void(const std::string&)>& use) {
        app.add_option_function<std::string>(name,
                                             [&, name, use](const std::string& text) {
                                                 if (open()) {
                                                     use(text);
                                                 }
                                             })
            ->trigger_on_parse()
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };
    for (const char* name : {"--port", "-p"}) {
        value(name, [&, name](const std::string& text) {
            if (text.empty()) {
                problem = std::string(name) + " needs a port name";
            } else {
                m_strPort = text;
            }
        });
    }
    value("--timeout", [&](const std::string& text) {
        unsigned long ms = 0;
        if (!ParseNumber(text, kMaxTimeoutMs, ms) || ms == 0) {
            problem = "--timeout: '" + text + "' is not a number of milliseconds from 1 to " +
                      std::to_string(kMaxTimeoutMs);
            return;
        }
        m_nTimeoutMs = static_cast<unsigned>(ms);
        m_bTimeout = true;
    });
    for (const char* name :
         {"--save", "--station", "--node", "--since", "--until", "--kind", "--db", "--limit"}) {
        value(name, [&, name](const std::string& text) {
            if (text.empty()) {
                problem = std::string(name) + " needs a value";
            } else if (!ParseValueOption(name, text)) {
                problem = m_strError;
            }
        });
    }
    app.add_flag("--json", m_bJson);
    app.add_flag("-y,--yes", m_bYes);
    app.add_flag("--reference", m_bReference);
    app.add_flag("--csv", m_bCsv);
    app.add_flag_callback("-h,--help", [&] { help = help || open(); })->trigger_on_parse();
    bool version = false;
    app.add_flag_callback("--version", [&] { version = version || open(); })->trigger_on_parse();
    app.add_option("args", positional);

    // "--port=" and "--timeout=" name an empty value rather than take the next word.
    std::vector<std::string> words;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        const bool empty = *it == "--port=" || *it == "--timeout=";
        if (empty) {
            words.emplace_back();
        }
        words.push_back(empty ? it->substr(0, it->size() - 1) : *it);
    }
    try {
        app.parse(words);
    } catch (const CLI::ParseError&) {
        // Only an option that ends the line without its value, or a flag given a value.
        if (open()) {
            const std::string& last = args.back();
            if (last == "--port" || last == "-p") {
                problem = last + " needs a port name";
            } else if (last == "--timeout") {
                problem = "--timeout needs milliseconds";
            } else if (app.get_option_no_throw(last) != nullptr) {
                problem = last + " needs a value";
            } else {
                const auto flag = std::find_if(args.begin(), args.end(), [](const std::string& a) {
                    return LooksLikeOption(a) && a.find('=') != std::string::npos;
                });
                problem = "unknown option '" + (flag != args.end() ? *flag : last) + "'";
            }
        }
    }
    if (help || version) {
        m_command = help ? ZarnctlCommand::help : ZarnctlCommand::version;
        return 1;
    }
    if (!problem.empty()) {
        return Fail(problem);
    }
    if (!firstUnknown().empty()) {
        return Fail("unknown option '" + firstUnknown() + "'");
    }
    if (positional.empty()) {
        return Fail("no command given");
    }
    m_strCommand = positional.front();
    const auto* info =
        std::find_if(std::begin(kCommands), std::end(kCommands),
                     [&](const CommandInfo& c) { return m_strCommand == c.pszName; });
    if (info == std::end(kCommands)) {
        return Fail("unknown command '" + m_strCommand + "'");
    }
    m_command = info->command;
    if (m_bReference && m_command != ZarnctlCommand::curve) {
        return Fail("--reference goes only with curve");
    }
    if (m_bTimeout && m_command != ZarnctlCommand::scan) {
        return Fail("--timeout goes only with scan");
    }
    if (!CheckOptionsFit()) {
        return 0;
    }
    positional.erase(positional.begin());
    return ParseCommandArgs(positional);
}

int CCommandLine::ParseCommandArgs(const std::vector<std::string>& p) {
    auto exactly = [&](std::size_t n) -> int {
        if (p.size() < n) {
            return Fail(m_strCommand + ": missing arguments");
        }
        if (p.size() > n) {
            return Fail(m_strCommand + ": unexpected argument '" + p[n] + "'");
        }
        return 1;
    };
    switch (m_command) {
    case ZarnctlCommand::help:
    case ZarnctlCommand::version:
    case ZarnctlCommand::ports:
    case ZarnctlCommand::history:
        return exactly(0);
    case ZarnctlCommand::exportFile: {
        if (!exactly(1)) {
            return 0;
        }
        m_strFile = p[0];
        const std::string lower = Lower(m_strFile);
        auto endsWith = [&](const char* ext) {
            const std::string e = ext;
            return lower.size() > e.size() &&
                   lower.compare(lower.size() - e.size(), e.size(), e) == 0;
        };
        if (!endsWith(".cur") && !endsWith(".buf")) {
            return Fail("export: '" + m_strFile + "' is neither a .cur nor a .buf file");
        }
        return 1;
    }
    case ZarnctlCommand::ping:
    case ZarnctlCommand::stats:
        if (p.empty()) {
            return Fail(m_strCommand + ": give at least one node ID");
        }
        for (const std::string& text : p) {
            unsigned node = 0;
            if (!ParseNode(text, node)) {
                return 0;
            }
            m_nodes.push_back(node);
        }
        return 1;
    case ZarnctlCommand::scan:
        if (p.size() > 1) {
            return Fail("scan: unexpected argument '" + p[1] + "'");
        }
        if (p.size() == 1 && !ParseRange(p[0], m_nFirst, m_nLast)) {
            return Fail("bad range '" + p[0] +
                        "' (FIRST-LAST, node IDs from 0 to 255, FIRST not above LAST)");
        }
        return 1;
    case ZarnctlCommand::get:
    case ZarnctlCommand::set: {
        const bool set = m_command == ZarnctlCommand::set;
        if (!exactly(set ? 3 : 2)) {
            return 0;
        }
        unsigned node = 0;
        if (!ParseNode(p[0], node)) {
            return 0;
        }
        m_nodes.push_back(node);
        m_strWhat = Lower(p[1]);
        if (!set && !OneOf(m_strWhat, kGettable)) {
            return Fail("get: unknown value '" + p[1] +
                        "' (blo, tfactor, dfactor, sfactor, peak, zones, results or counts)");
        }
        if (set && !OneOf(m_strWhat, kSettable)) {
            return Fail("set: unknown value '" + p[1] +
                        "' (blo, tfactor, dfactor, sfactor or teach)");
        }
        if (set) {
            unsigned long v = 0;
            if (!ParseNumber(p[2], 0xFFFF, v)) {
                return Fail("set: value '" + p[2] + "' is not a number from 0 to 65535");
            }
            m_nValue = static_cast<unsigned>(v);
        }
        return 1;
    }
    case ZarnctlCommand::reset:
    case ZarnctlCommand::reference:
    case ZarnctlCommand::curve:
    case ZarnctlCommand::batch: {
        if (!exactly(1)) {
            return 0;
        }
        unsigned node = 0;
        if (!ParseNode(p[0], node)) {
            return 0;
        }
        m_nodes.push_back(node);
        return 1;
    }
    case ZarnctlCommand::none:
        break;
    }
    return Fail("no command given");
}

std::string CCommandLine::GetUsageLine() const {
    for (const CommandInfo& c : kCommands) {
        if (c.command == m_command && m_command != ZarnctlCommand::help) {
            return std::string("usage: zarnctl [--port NAME] [--json] [--yes] ") + c.pszUsage;
        }
    }
    return "usage: zarnctl [--port NAME] [--json] [--yes] COMMAND ...";
}

std::string CCommandLine::GetHelpText() {
    return R"(Usage: zarnctl [--port NAME] [--json] [--yes] COMMAND ...

Talks to the Zarn crimp-force analysers on one serial line (57600 baud 8N1).

Commands:
  ping NODE...            test whether each node answers
  scan [FIRST-LAST] [--timeout MS]
                          test every node of a range (default 1-254) and list only the
                          nodes that answer, with --json too; progress goes to standard
                          error. --timeout waits MS milliseconds for each node instead of
                          the analysers' own 1200: with 50 a sweep of 1-254 takes about
                          15 s on a local line (leave room for the round trip to a device
                          server)
  get NODE WHAT           read a value; WHAT is one of
                            blo      BLO limit
                            tfactor  T factor (raw; hundredths)
                            dfactor  D factor (raw; hundredths)
                            sfactor  S factor (raw; hundredths)
                            peak     peak force
                            zones    the five zone positions
                            results  the result values RS1-RSO and RU1-RUO
                            counts   pass and fail counts
  set NODE WHAT VALUE     set blo, tfactor, dfactor, sfactor or teach (teach cycles);
                          VALUE is raw, 0-65535, as the analyser holds it (T 1.50 is 150)
  reset NODE              clear the batch buffer (asks first)
  reference NODE          take a new reference (asks first)
  curve NODE [--reference]  the force curve (or the reference curve), 500 points;
                          with --save FILE.cur the whole curve download (both curves,
                          zones, peak, results) is written as the program saves it, and
                          with --csv printed as CSV
  batch NODE              the batch statistics, then the batch buffer; --save FILE.buf
                          writes it as the program saves it, --csv prints it as CSV
  stats NODE...           the batch statistics of each node (--csv: one CSV line each,
                          with the time of its reading)
  ports                   list the machine's serial ports with what the system knows of
                          them (USB vendor and product, driver, UART)
  export FILE             a saved .cur or .buf file as CSV (default) or with --json as JSON
  history                 the recorded history (default: the statistics readings); see
                          below
  logger info|settings|start|stop|buffer   a temperature data logger (see below)
  jig info                a wave-solder test jig

Options:
  --port NAME   the serial port (default COM1); COMn is /dev/ttyS(n-1), a path is used
                as given; socket://HOST:PORT is a device server's raw TCP port and
                rfc2217://HOST:PORT one that speaks Telnet with the COM-port control
                (RFC 2217); HOST may be a name, an IPv4 or an [IPv6] address;
                zarnd://PATH is the socket of a line service (zarnd) that shares its line
  --json        print one JSON document on standard output instead of text
  --yes         do not ask before reset and reference; needed when standard input is
                not a terminal
  --csv         print CSV (RFC 4180, UTF-8, ISO 8601 UTC times) instead of text
  --save FILE   curve and batch: write the download to a .cur or .buf file
  --station NAME  curve and batch: the station name in the saved file (default
                "Station NODE"); history: only this station's records
  --help        show this text
  --version     print the version

History options:
  --node N      only this node's records
  --since TIME, --until TIME   from (inclusive) and to (exclusive), ISO 8601, e.g.
                2024-05-01 or 2024-05-01T06:00Z; UTC unless a zone is given
  --kind KIND   stats (default), curve, batch or change
  --limit N     only the latest N records
  --db PATH|URL the history file (default $XDG_DATA_HOME/Velmora/Quorvel/history.db) or
                a postgresql:// URL of the plant database

NODE is a node ID from 0 to 255; numbers may also be given as 0x hexadecimal.

The logger and the jig are reached over a direct cable, or with --vask through the interface
module of a shared line; --id N picks the module's packet ID (default 0x11).

Exit status:
  0  every request succeeded (scan: at least one node answered)
  1  a request to an analyser failed, or a question was answered no
     (scan: no node answered, or the line failed), or noise on the line turned a
     request into one that changes an analyser (a warning names the node)
  2  usage error
  3  the port cannot be opened
  export and history: 1 when the file or the history cannot be read
)";
}
