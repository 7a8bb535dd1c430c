#include "sim/NodeList.h"

#include <set>

namespace {

bool ParseNode(const std::string& text, int& node) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    node = std::stoi(text);
    return node >= 1 && node <= 255;
}

} // namespace

bool ParseNodeList(const std::string& text, std::vector<int>& nodes, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    std::set<int> found;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = text.find(',', pos);
        const std::string item = text.substr(pos, comma == std::string::npos ? comma : comma - pos);
        const std::size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        if (dash == std::string::npos) {
            if (!ParseNode(item, first)) {
                return fail("\"" + item + "\" is not a node ID from 1 to 255");
            }
            last = first;
        } else if (!ParseNode(item.substr(0, dash), first) ||
                   !ParseNode(item.substr(dash + 1), last)) {
            return fail("\"" + item + "\" is not a range of node IDs from 1 to 255");
        } else if (last < first) {
            return fail("the range \"" + item + "\" runs backwards");
        }
        for (int node = first; node <= last; ++node) {
            found.insert(node);
        }
        if (comma == std::string::npos) {
            break;
        }
        pos = comma + 1;
    }
    nodes.assign(found.begin(), found.end());
    return true;
}
