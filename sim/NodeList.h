#pragma once

#include <string>
#include <vector>

// Parses a list of node IDs such as "1-12" or "1,3,5-7" (IDs 1 to 255, ranges rising) into
// rising order without repeats. False, with a reason, for anything else.
bool ParseNodeList(const std::string& text, std::vector<int>& nodes, std::string* error = nullptr);
