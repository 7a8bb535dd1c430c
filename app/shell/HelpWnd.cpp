#include "app/shell/HelpWnd.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

const char* const CHelpWnd::kManual = "qrc:/help/manual.html";

namespace {

QPointer<CHelpWnd>& TheWindow() {
    static QPointer<CHelpWnd> window;
    return window;
}

} // namespace

CHelpWnd::CHelpWnd(QWidget* pOwner) : QWidget(pOwner, Qt::Window) {
    setObjectName(QStringLiteral("HelpWnd"));
    setWindowTitle(QStringLiteral("Zarn Network Controller - Operator's Manual"));
    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setOpenExternalLinks(false);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    auto* forward = new QPushButton(QStringLiteral("&Forward"), this);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(contents, &QPushButton::clicked, this,
            [this] { m_pBrowser->verticalScrollBar()->setValue(0); });
    connect(back, &QPushButton::clicked, m_pBrowser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_pBrowser, &QTextBrowser::forward);
    connect(m_pBrowser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_pBrowser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_pBrowser, 1);
    m_pBrowser->setSource(QUrl(QString::fromLatin1(kManual)));
    resize(760, 640);
}

CHelpWnd* CHelpWnd::Show(QWidget* pOwner, const QString& strAnchor) {
    QPointer<CHelpWnd>& window = TheWindow();
    if (window == nullptr) {
        window = new CHelpWnd(pOwner != nullptr ? pOwner->window() : nullptr);
    }
    window->show();
    window->raise();
    window->activateWindow();
    // Shown first, so that the page is laid out and the anchor has a place to scroll to.
    if (strAnchor.isEmpty()) {
        window->m_pBrowser->verticalScrollBar()->setValue(0);
    } else {
        window->m_pBrowser->scrollToAnchor(strAnchor);
    }
    return window;
}

void CHelpWnd::keyPressEvent(QKeyEvent* pEvent) {
    // Esc puts the manual away, as it does a dialog.
    if (pEvent->key() == Qt::Key_Escape && pEvent->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(pEvent);
}

CHelpWnd* CHelpWnd::Find() {
    return TheWindow();
}
