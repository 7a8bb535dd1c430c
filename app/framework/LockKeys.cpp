#include "app/framework/LockKeys.h"

#include <QGuiApplication>

#include <dlfcn.h>

namespace {

CLockKeys::State g_followed;

// The keyboard extension's indicator calls, looked up at run time so that the program needs
// no X11 libraries of its own and runs on any platform plug-in.
struct XkbCalls {
    using InternAtom = unsigned long (*)(void*, const char*, int);
    using GetNamedIndicator = int (*)(void*, unsigned long, int*, int*, void*, int*);
    using GetIndicatorState = int (*)(void*, unsigned, unsigned*);
    GetIndicatorState getIndicatorState = nullptr;
    int indices[3] = {-1, -1, -1}; // Caps Lock, Num Lock, Scroll Lock
    void* display = nullptr;
};

constexpr unsigned kUseCoreKeyboard = 0x0100;

XkbCalls& Calls() {
    static XkbCalls calls;
    return calls;
}

void* X11Display() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? static_cast<void*>(x11->display()) : nullptr;
}

bool QueryX11(CLockKeys::State& state) {
    void* display = X11Display();
    if (display == nullptr) {
        return false;
    }
    XkbCalls& c = Calls();
    if (c.display != display) {
        c = XkbCalls();
        c.display = display;
        void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (lib == nullptr) {
            return false;
        }
        auto internAtom = reinterpret_cast<XkbCalls::InternAtom>(dlsym(lib, "XInternAtom"));
        auto getNamed =
            reinterpret_cast<XkbCalls::GetNamedIndicator>(dlsym(lib, "XkbGetNamedIndicator"));
        c.getIndicatorState =
            reinterpret_cast<XkbCalls::GetIndicatorState>(dlsym(lib, "XkbGetIndicatorState"));
        if (internAtom == nullptr || getNamed == nullptr) {
            c.getIndicatorState = nullptr;
            return false;
        }
        const char* names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
        for (int i = 0; i < 3; ++i) {
            unsigned long atom = internAtom(display, names[i], 0);
            int index = -1;
            if (atom != 0 && getNamed(display, atom, &index, nullptr, nullptr, nullptr) != 0) {
                c.indices[i] = index;
            }
        }
    }
    unsigned bits = 0;
    if (c.getIndicatorState == nullptr ||
        c.getIndicatorState(display, kUseCoreKeyboard, &bits) != 0) {
        return false;
    }
    bool* out[3] = {&state.bCaps, &state.bNum, &state.bScroll};
    for (int i = 0; i < 3; ++i) {
        *out[i] = c.indices[i] >= 0 && c.indices[i] < 32 && (bits >> c.indices[i]) & 1u;
    }
    return true;
}

} // namespace

CLockKeys::State CLockKeys::Query() {
    State state;
    if (QueryX11(state)) {
        return state;
    }
    return g_followed;
}

void CLockKeys::OnKeyPress(int nQtKey) {
    switch (nQtKey) {
    case Qt::Key_CapsLock:
        g_followed.bCaps = !g_followed.bCaps;
        break;
    case Qt::Key_NumLock:
        g_followed.bNum = !g_followed.bNum;
        break;
    case Qt::Key_ScrollLock:
        g_followed.bScroll = !g_followed.bScroll;
        break;
    default:
        break;
    }
}
