#pragma once

#include "app/framework/Dialog.h"

class QPushButton;

// The About box (dialog 100): the program's icon, two pictures and OK.
class CAboutBox : public CDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* pParent = nullptr);

    QPushButton* GetOkButton() const { return m_pOk; }

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    QPushButton* m_pOk;
};
