#pragma once

#include "app/framework/Dialog.h"
#include "app/network/PressProperties.h"
#include "history/HistoryStation.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CLineClient;
class CLineOperation;
class CQuorvelDoc;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The Press Properties dialog: one station's texts and limits, and its analyser's. The window
// holds the fields and buttons; CPressProperties does the work.
class CPressPropertiesDlg : public CDialog, private CPressProperties::CHost {
    Q_OBJECT
public:
    // Control numbers of the dialog resource.
    enum : UINT {
        IDC_SERIAL_NO = 1000,
        IDC_NODE_ID = 1001,
        IDC_NODE_SPIN = 1004,
        IDC_STATION_ID = 1005,
        IDC_TERMINAL_TYPE = 1008,
        IDC_BLO = 1009,
        IDC_T_FACTOR = 1010,
        IDC_D_FACTOR = 1011,
        IDC_TEACH_CYCLES = 1012,
        IDC_GET_LIMITS = 1013,
        IDC_SET_LIMITS = 1014,
        IDC_PASS_COUNT = 1015,
        IDC_FAIL_COUNT = 1016,
        IDC_PEAK_FORCE = 1018,
        IDC_GET_PRODUCTION = 1019,
        IDC_STATUS_ICON = 1020,
        IDC_BLO_SPIN = 1021,
        IDC_D_SPIN = 1022,
        IDC_T_SPIN = 1023,
        IDC_TEACH_SPIN = 1024,
        IDC_SET_TEACH = 1025,
        IDC_CHECK_ID = 1026,
        IDC_S_FACTOR = 1027,
        IDC_S_SPIN = 1028,
        IDC_WIRE_TYPE = 1029,
        IDC_STATUS = 1030,
    };

    // Every exchange with the analyser goes through the line; without one they all fail.
    CPressPropertiesDlg(CQuorvelDoc* pDoc, CPress* pPress, CLineClient* pLine,
                        QWidget* pParent = nullptr);
    ~CPressPropertiesDlg() override;

    // The dialog's copy of the values, read by the caller after OK.
    const CPressProperties& GetValues() const { return *m_pLogic; }
    // A control by its number, for the window and its tests.
    QWidget* GetControl(UINT nID) const;

    // Asks the analyser and fills the fields; done when the dialog opens.
    void OnInitDialog();
    // OK: closes only when the fields are valid and the node ID is not another station's.
    void accept() override;
    // Whatever the dialog asked of the line and is not yet answered is cancelled on closing.
    void done(int nResult) override;
    // Requests of this dialog on their way.
    int GetRunning() const;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    // CPressProperties::CHost
    void Message(unsigned nStringID, const std::string& strArg,
                 CPressProperties::Icon icon) override;
    void MessageText(const std::string& text, CPressProperties::Icon icon) override;
    std::string String(unsigned nStringID) override;
    void FocusField(CPressProperties::Field field) override;
    void Run(CPressProperties::Request request, std::vector<CLineWorker::Step> steps,
             std::function<void(bool bOk)> done) override;
    CPressProperties::Poster MakePoster() override;
    ChangeSink MakeChangeSink() override;
    void ShowReadings() override;
    void Refresh() override;
    void Confirm(const std::string& strText) override;
    void CancelRequests();

    void BuildControls();
    QLineEdit* AddEdit(UINT nID, int x, int y, int cx, bool bReadOnly = false);
    QLabel* AddLabel(const char* pszText, int x, int y, int cx, UINT nID = 0);
    QPushButton* AddButton(UINT nID, const char* pszText, int x, int y, int cx);
    void AddArrows(UINT nID, int x, int y, std::function<void(bool up)> onStep);
    void StepWhole(UINT nEdit, int lo, int hi, bool up);

    CPressProperties::Fields TakeFieldTexts() const;
    void ShowValues();
    void EnableAnalyserControls();

    std::unique_ptr<CPressProperties> m_pLogic;
    std::map<UINT, QWidget*> m_controls;
    QLabel* m_pStatusIcon = nullptr;
    bool m_bInitialised = false;
    CLineClient* m_pLine = nullptr;
    std::string m_strStation;
    CHistoryStation m_historyStation; // the station's fields, as the changes name it
    std::map<CPressProperties::Request, int> m_running;
    std::vector<std::weak_ptr<CLineOperation>> m_operations;
    // The request being finished failed because the line is lost or the line service refused
    // it: its message says that instead of advice about the analyser.
    std::string m_strLostLine;
    bool m_bLostLineTold = false;
};
