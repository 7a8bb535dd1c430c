#pragma once

#include "app/framework/Dialog.h"

#include <map>
#include <string>

class CStats;
class QLabel;

// Batch Statistics: the analyser's statistics of a batch, shown only; its one button closes it.
class CBatchStatsDlg : public CDialog {
    Q_OBJECT
public:
    CBatchStatsDlg(const CStats& stats, QWidget* pParent = nullptr);

    // The text a value field shows; empty for a control the dialog does not have.
    std::string GetFieldText(UINT nID) const;

private:
    const CStats& m_stats;
    std::map<UINT, QLabel*> m_fields;
};
