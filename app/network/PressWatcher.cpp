#include "app/network/PressWatcher.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<CPressWatcher*>& Watchers() {
    static std::vector<CPressWatcher*> watchers;
    return watchers;
}

} // namespace

CPressWatcher::CPressWatcher() {
    Watchers().push_back(this);
}

CPressWatcher::~CPressWatcher() {
    auto& watchers = Watchers();
    watchers.erase(std::remove(watchers.begin(), watchers.end(), this), watchers.end());
}

void CPressWatcher::NotifyRemoved(CPress* pPress) {
    // Copy: a watcher may go away while it is told.
    std::vector<CPressWatcher*> watchers = Watchers();
    for (CPressWatcher* pWatcher : watchers) {
        const auto& now = Watchers();
        if (std::find(now.begin(), now.end(), pWatcher) != now.end()) {
            pWatcher->OnPressRemoved(pPress);
        }
    }
}
