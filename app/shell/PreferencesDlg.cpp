#include "app/shell/PreferencesDlg.h"

#include "app/framework/Dialog.h"
#include "app/framework/DocTemplate.h"
#include "app/framework/Document.h"
#include "app/framework/MessageService.h"
#include "app/framework/View.h"
#include "app/network/StationMonitor.h"
#include "app/shell/QuorvelApp.h"
#include "app/stats/StatsView.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>

CPreferencesDlg::CPreferencesDlg(const CPreferences& prefs, QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Preferences"));
    setFont(CDialog::DialogFont());
    m_pSweep = new QSpinBox(this);
    m_pSweep->setRange(0, static_cast<int>(CPreferences::kMaxSweepSeconds));
    m_pSweep->setSuffix(QStringLiteral(" s"));
    m_pSweep->setSpecialValueText(QStringLiteral("off"));
    m_pSweep->setValue(static_cast<int>(prefs.m_nSweepSeconds));
    m_pSweep->setToolTip(QStringLiteral("How often each station of the layout is asked whether "
                                        "it answers; 0 turns the sweep off"));
    m_pCpk = new QDoubleSpinBox(this);
    m_pCpk->setRange(0.0, 10.0);
    m_pCpk->setDecimals(2);
    m_pCpk->setSingleStep(0.01);
    m_pCpk->setValue(prefs.m_dCpkAlarm);
    m_pCpk->setToolTip(QStringLiteral("A station whose Cpk is below this is in alarm"));
    m_pBad = new QDoubleSpinBox(this);
    m_pBad->setRange(0.0, 100.0);
    m_pBad->setDecimals(1);
    m_pBad->setSingleStep(0.5);
    m_pBad->setSuffix(QStringLiteral(" %"));
    m_pBad->setValue(prefs.m_dBadAlarm);
    m_pBad->setToolTip(QStringLiteral("A station with more bad crimps than this is in alarm"));
    m_pMinCrimps = new QSpinBox(this);
    m_pMinCrimps->setRange(0, static_cast<int>(CPreferences::kMaxMinCrimps));
    m_pMinCrimps->setValue(static_cast<int>(prefs.m_nMinCrimps));
    m_pMinCrimps->setToolTip(QStringLiteral(
        "Below this many crimps Cp and Cpk are neither coloured nor raise an alarm"));

    auto* pForm = new QFormLayout;
    pForm->addRow(QStringLiteral("&Sweep period:"), m_pSweep);
    pForm->addRow(QStringLiteral("&Cpk alarm below:"), m_pCpk);
    pForm->addRow(QStringLiteral("&Bad alarm above:"), m_pBad);
    pForm->addRow(QStringLiteral("Cp/Cpk from &crimps:"), m_pMinCrimps);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pForm);
    pLayout->addWidget(pButtons);
}

CPreferences CPreferencesDlg::GetPreferences() const {
    CPreferences prefs;
    prefs.m_nSweepSeconds = static_cast<unsigned>(m_pSweep->value());
    prefs.m_dCpkAlarm = m_pCpk->value();
    prefs.m_dBadAlarm = m_pBad->value();
    prefs.m_nMinCrimps = static_cast<unsigned>(m_pMinCrimps->value());
    return prefs.Clamped();
}

void CPreferencesDlg::Run(QWidget* pParent) {
    CPreferencesDlg dialog(CPreferences::Load(), pParent);
    if (CDialog::RunModal(dialog) != IDOK) {
        return;
    }
    Apply(dialog.GetPreferences());
}

void CPreferencesDlg::Apply(const CPreferences& prefs) {
    prefs.Save();
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp == nullptr) {
        return;
    }
    // The badges and the table take the new values at once.
    if (pApp->m_pMonitor != nullptr) {
        pApp->m_pMonitor->LoadSettings();
    }
    if (pApp->m_pStatsTemplate != nullptr) {
        for (CDocument* pDoc : pApp->m_pStatsTemplate->GetDocuments()) {
            for (CView* pView : pDoc->GetViews()) {
                if (auto* pStatsView = dynamic_cast<CStatsView*>(pView)) {
                    pStatsView->UpdateAllRows();
                }
            }
        }
    }
}
