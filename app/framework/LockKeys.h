#pragma once

// The state of the Caps Lock, Num Lock and Scroll Lock keys. On X11 it is asked of the
// keyboard extension; elsewhere it is followed from the lock keys pressed since start-up.
class CLockKeys {
public:
    struct State {
        bool bCaps = false;
        bool bNum = false;
        bool bScroll = false;
    };

    static State Query();
    // Keeps the followed state in step when the system cannot be asked.
    static void OnKeyPress(int nQtKey);
};
