#pragma once

#include "app/shell/Preferences.h"

#include <QDialog>

class QDoubleSpinBox;
class QSpinBox;

// Preferences (View menu): the sweep period, the alarm thresholds and the fewest crimps for
// Cp and Cpk colours. OK stores them and the program works with them at once.
class CPreferencesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPreferencesDlg(const CPreferences& prefs, QWidget* pParent = nullptr);

    CPreferences GetPreferences() const;
    QSpinBox* GetSweepBox() const { return m_pSweep; }
    QDoubleSpinBox* GetCpkBox() const { return m_pCpk; }
    QDoubleSpinBox* GetBadBox() const { return m_pBad; }
    QSpinBox* GetMinCrimpsBox() const { return m_pMinCrimps; }

    // The command: the dialog, then on OK the preferences stored and applied.
    static void Run(QWidget* pParent);
    // Stores the preferences and applies them to the running program.
    static void Apply(const CPreferences& prefs);

private:
    QSpinBox* m_pSweep = nullptr;
    QDoubleSpinBox* m_pCpk = nullptr;
    QDoubleSpinBox* m_pBad = nullptr;
    QSpinBox* m_pMinCrimps = nullptr;
};
