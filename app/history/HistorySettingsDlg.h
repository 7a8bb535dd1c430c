#pragma once

#include "app/framework/Dialog.h"
#include "app/history/HistorySettings.h"
#include "history/HistoryStatus.h"

#include <string>

class CHistoryRecorder;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

// The History Settings dialog (dialog 180): where the history is recorded (the local file,
// another SQLite file or a plant database), how many days the local file keeps, and how the
// recording stands now, kept up to date while the dialog is open. A plant database's password
// has a field of its own, starts empty and is never shown; OK stores one typed there outside the
// settings (CHistorySettings::StorePassword).
class CHistorySettingsDlg : public CDialog {
    Q_OBJECT
public:
    // strRunTarget: what this run records to; bCommandLine: chosen with --history, which the
    // dialog's choice does not change for this run.
    CHistorySettingsDlg(const CHistorySettings& settings, const std::string& strRunTarget,
                        bool bCommandLine, CHistoryRecorder* pRecorder, QWidget* pParent = nullptr);

    // After OK: the choice.
    const CHistorySettings& GetSettings() const { return m_settings; }

    QRadioButton* GetLocalButton() const { return m_pLocal; }
    QRadioButton* GetFileButton() const { return m_pFile; }
    QRadioButton* GetServerButton() const { return m_pServer; }
    QLineEdit* GetFileEdit() const { return m_pFileEdit; }
    QLineEdit* GetUrlEdit() const { return m_pUrlEdit; }
    QLineEdit* GetPasswordEdit() const { return m_pPasswordEdit; }
    QSpinBox* GetRetention() const { return m_pRetention; }
    QLabel* GetStatusLabel() const { return m_pStatus; }

    // The status as the dialog words it, without a password.
    static std::string DescribeStatus(const CHistoryStatus& status);

    void accept() override;

private:
    void ShowStatus(const CHistoryStatus& status);
    void EnableFields();
    void Browse();

    CHistorySettings m_settings;
    QRadioButton* m_pLocal;
    QRadioButton* m_pFile;
    QRadioButton* m_pServer;
    QLineEdit* m_pFileEdit;
    QLineEdit* m_pUrlEdit;
    QLineEdit* m_pPasswordEdit;
    QSpinBox* m_pRetention;
    QLabel* m_pStatus;
};
