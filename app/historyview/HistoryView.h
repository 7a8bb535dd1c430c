#pragma once

#include "app/framework/View.h"

#include <array>
#include <string>

class CHistoryDoc;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineSeries;
class QTreeWidget;

// The history window: four charts over the chosen time range (the share of bad crimps, the
// mean, Cp and Cpk, each station a series, the Cpk chart with the alarm threshold drawn in),
// and below them the changes made to the stations in that range. The range is chosen above
// the charts; a text there says when the history cannot be read or holds nothing.
class CHistoryView : public CView {
    Q_OBJECT
public:
    // The smallest the window's contents may be; Tile and Cascade never go below it.
    static constexpr int kMinimumWidth = 160;
    static constexpr int kMinimumHeight = 90;
    enum Chart { chartBad, chartMean, chartCp, chartCpk, kCharts };

    CHistoryView();

    CHistoryDoc* GetDocument() const;
    void OnInitialUpdate() override;
    void OnUpdate(CView* pSender, long lHint, CObject* pHint) override;

    // The range chosen in the box (0: 24 hours ... 3: 365 days, 4: from/to).
    void ChooseSpan(int nIndex);
    void OnExportPng();
    // The four charts in one picture.
    bool ExportPng(const std::string& strPath, std::string* pReason);

    // What the window shows, for the tests.
    QChart* GetChart(Chart chart) const;
    QTreeWidget* GetChangeList() const { return m_pChanges; }
    QComboBox* GetSpanBox() const { return m_pSpan; }
    QDateTimeEdit* GetFromEdit() const { return m_pFrom; }
    QDateTimeEdit* GetToEdit() const { return m_pTo; }
    std::string GetStatusText() const;
    // The alarm line of the Cpk chart.
    QLineSeries* GetCpkAlarmLine() const { return m_pAlarm; }

private:
    void ApplyRangeFromControls();
    // The span and the from/to fields as the document's range stands.
    void ShowRange();
    void ShowCharts();
    void ShowChanges();
    void ShowStatus();
    static double CpkThreshold();

    QComboBox* m_pSpan = nullptr;
    QDateTimeEdit* m_pFrom = nullptr;
    QDateTimeEdit* m_pTo = nullptr;
    QLabel* m_pStatus = nullptr;
    QWidget* m_pChartArea = nullptr;
    std::array<QChartView*, kCharts> m_charts{};
    QLineSeries* m_pAlarm = nullptr;
    QTreeWidget* m_pChanges = nullptr;
};
