#pragma once

#include "app/framework/Dialog.h"
#include "app/graphs/CompareCurve.h"
#include "history/HistoryEntries.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

class CHistoryWorker;
class QComboBox;
class QLabel;
class QTreeWidget;

// Add From History: the curves recorded in the last 30 days (station, time, peak), newest
// first, narrowed to one station at the operator's choice. The history is read on a worker
// thread; the list fills when it has answered.
class CHistoryCurvePicker : public CDialog {
    Q_OBJECT
public:
    static constexpr int kDays = 30;
    // The most curves listed at a time.
    static constexpr std::size_t kMaxCurves = 1000;

    CHistoryCurvePicker(const std::string& strTarget, QWidget* pParent = nullptr);
    ~CHistoryCurvePicker() override;

    // The compare windows' picker, reading the application's history.
    static void Register();

    // The recorded curves of the chosen rows, as a compare window shows them.
    std::vector<CCompareCurve> GetChosen() const;
    QTreeWidget* GetList() const { return m_pList; }
    QComboBox* GetStationBox() const { return m_pStation; }
    bool IsLoading() const { return m_bLoading; }
    std::string GetStatusText() const;

private:
    void Load(const std::string& strStation);
    void OnLoaded(unsigned nGeneration, const std::string& strError,
                  std::vector<CHistoryCurve> curves);

    QComboBox* m_pStation = nullptr;
    QTreeWidget* m_pList = nullptr;
    QLabel* m_pStatus = nullptr;
    std::vector<CHistoryCurve> m_curves;
    bool m_bLoading = false;
    unsigned m_nGeneration = 0;
    QObject m_context; // answers for a dialog that is gone are dropped with it
    std::unique_ptr<CHistoryWorker> m_pWorker;
};
