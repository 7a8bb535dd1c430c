#pragma once

#include "app/framework/Dialog.h"

#include <vector>

class CDocTemplate;
class QListWidget;

// The File New dialog: the operator picks the kind of document to create.
class CNewTypeDlg : public CDialog {
    Q_OBJECT
public:
    CNewTypeDlg(const std::vector<CDocTemplate*>& templates, QWidget* pParent = nullptr);

    // The chosen type after OK.
    CDocTemplate* GetSelected() const;
    QListWidget* GetList() const { return m_pList; }

private:
    std::vector<CDocTemplate*> m_templates;
    QListWidget* m_pList;
};
