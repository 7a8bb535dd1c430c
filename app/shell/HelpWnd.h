#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

// The operator's manual, shipped inside the program, in a window of its own beside the main
// window. There is one: asking for it again brings it forward at the page asked for.
class CHelpWnd : public QWidget {
    Q_OBJECT
public:
    // The manual's address among the program's resources.
    static const char* const kManual;

    // Shows the help window (made on first use, owned by pOwner's window) at an anchor of the
    // manual, or at its start when the anchor is empty.
    static CHelpWnd* Show(QWidget* pOwner, const QString& strAnchor = QString());
    // The help window if it is open.
    static CHelpWnd* Find();

    QTextBrowser* GetBrowser() const { return m_pBrowser; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    explicit CHelpWnd(QWidget* pOwner);

    QTextBrowser* m_pBrowser = nullptr;
};
