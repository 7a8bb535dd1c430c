#pragma once

#include "app/framework/CmdUI.h"

#include <functional>
#include <vector>

// Something that handles commands. Each target keeps a map from command numbers to a handler
// and an optional state function; the frames route a command through the active view, its
// document, the child frame, the main frame and the application, and the first target that
// maps the number takes it.
class CCmdTarget {
public:
    using Handler = std::function<void(UINT nID)>;
    using Updater = std::function<void(CCmdUI& ui)>;

    virtual ~CCmdTarget() = default;

    // With pCmdUI null: runs the command's handler. Otherwise fills in the command's state.
    // True when this target (or one it routes to) maps the command.
    virtual bool OnCmdMsg(UINT nID, CCmdUI* pCmdUI);

protected:
    // A later mapping of the same number replaces an earlier one (a derived class overrides
    // its base). Without an updater a mapped command is enabled; with an updater but no
    // handler the target only decides the state.
    void MapCommand(UINT nID, std::function<void()> handler, Updater updater = {});
    void MapCommandRange(UINT nFirst, UINT nLast, Handler handler, Updater updater = {});
    void MapUpdate(UINT nID, Updater updater);

private:
    struct Entry {
        UINT nFirst;
        UINT nLast;
        Handler handler;
        Updater updater;
    };
    std::vector<Entry> m_commandMap;
};
