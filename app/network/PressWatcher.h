#pragma once

class CPress;

// Something that keeps a station it does not own (a batch window). The network document tells
// every watcher before a station is deleted, so that none is left pointing at it.
class CPressWatcher {
public:
    CPressWatcher();
    virtual ~CPressWatcher();
    CPressWatcher(const CPressWatcher&) = delete;
    CPressWatcher& operator=(const CPressWatcher&) = delete;

    // The station is about to be deleted.
    virtual void OnPressRemoved(CPress* pPress) = 0;

    // Tells every living watcher.
    static void NotifyRemoved(CPress* pPress);
};
