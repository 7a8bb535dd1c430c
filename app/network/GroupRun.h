#pragma once

#include "app/network/PressWatcher.h"
#include "app/shell/LineClient.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CPress;
class QWidget;

// One group command over the group's stations, in list order, one station at a time: the
// station's analyser is asked whether it answers, a silent one is skipped without a word, and
// the command runs on an answering one. The next station is tried only once the command on
// this one is over, its messages read. Cancel stops it between two exchanges, and the stations
// not yet reached with it. A station deleted from the layout meanwhile is let go of at once and
// skipped. When stations were skipped, failed, cancelled or deleted, one summary says which at
// the end. It deletes itself when it is over.
class CGroupRun : public QObject, private CPressWatcher {
public:
    // The command on one answering station; it ends the job when it is over.
    using Action = std::function<void(CPress* pPress, CLineJob job)>;

    CGroupRun(CLineClient& line, const std::vector<CPress*>& stations, std::string strTitle,
              Action action, QWidget* pBusy);

    void Start();
    // Told at the end, before any summary: the node IDs of the stations the command was done
    // on, and the confirmation for the status bar when it was done on every station.
    using Ended = std::function<void(const std::vector<int>& nodes, const std::string& strDone)>;
    void SetOnEnded(Ended fn) { m_onEnded = std::move(fn); }
    // "NAME (node N)", as the messages name a station.
    static std::string Label(const CPress& press);

private:
    struct CStation {
        CPress* pPress; // null once the station is deleted
        std::string strLabel;
    };

    void OnPressRemoved(CPress* pPress) override;
    void Next();
    void Finish();

    CLineClient& m_line;
    std::vector<CStation> m_stations;
    std::string m_strTitle;
    Action m_action;
    std::shared_ptr<CLineOperation> m_pOperation;
    std::size_t m_nNext = 0;
    std::vector<std::string> m_silent;    // did not answer
    std::vector<std::string> m_failed;    // answered, but the command failed
    std::vector<std::string> m_refused;   // the line service let the account only read
    std::string m_strRefusal;             // its words
    std::vector<std::string> m_cancelled; // the command was under way when cancelled
    std::vector<std::string> m_deleted;   // deleted from the layout before the command was done
    std::size_t m_nDone = 0;
    std::vector<int> m_doneNodes;
    int m_nCurrentNode = 0; // the station the command runs on now
    Ended m_onEnded;
    std::vector<std::string> m_lost; // not asked: the line was lost
    std::string m_strLostLine;
};
