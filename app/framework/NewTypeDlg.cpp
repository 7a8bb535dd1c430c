#include "app/framework/NewTypeDlg.h"

#include "app/framework/DocTemplate.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/StringTable.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

CNewTypeDlg::CNewTypeDlg(const std::vector<CDocTemplate*>& templates, QWidget* pParent)
    : CDialog(pParent), m_templates(templates), m_pList(new QListWidget(this)) {
    setWindowTitle(QString::fromStdString(CStringTable::Load(AFX_IDS_NEW_TITLE)));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QString::fromStdString(CStringTable::Load(AFX_IDS_NEW_PROMPT)), this);
    label->setBuddy(m_pList);
    layout->addWidget(label);
    for (CDocTemplate* pTemplate : m_templates) {
        m_pList->addItem(
            QString::fromStdString(pTemplate->GetDocString(CDocTemplate::fileNewName)));
    }
    if (m_pList->count() > 0) {
        m_pList->setCurrentRow(0);
    }
    layout->addWidget(m_pList);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(UnitsToPixelsX(170), UnitsToPixelsY(100));
}

CDocTemplate* CNewTypeDlg::GetSelected() const {
    int row = m_pList->currentRow();
    return row >= 0 && row < static_cast<int>(m_templates.size())
               ? m_templates[static_cast<std::size_t>(row)]
               : nullptr;
}
