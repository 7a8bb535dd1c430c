#pragma once

#include "base/Export.h"

#include <functional>
#include <string>

// The library's one message box (the loop-back check). The program installs a handler that
// shows it; without one the text goes to standard error.
using LibraryMessageHandler = std::function<void(const std::string& text)>;
LINTARO_API void SetLibraryMessageHandler(LibraryMessageHandler handler);
LINTARO_API void ShowLibraryMessage(const std::string& text);
