#include "serial/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_mutex;
LibraryMessageHandler g_handler;
} // namespace

void SetLibraryMessageHandler(LibraryMessageHandler handler) {
    std::lock_guard lock(g_mutex);
    g_handler = std::move(handler);
}

void ShowLibraryMessage(const std::string& text) {
    LibraryMessageHandler handler;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
    }
    if (handler) {
        handler(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}
