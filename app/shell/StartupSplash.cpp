#include "app/shell/StartupSplash.h"

#include "app/framework/Resources.h"
#include "app/shell/Resource.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimerEvent>

CStartupSplash* CStartupSplash::s_pInstance = nullptr;
bool CStartupSplash::s_bEnabled = false;

CStartupSplash::CStartupSplash(QWidget* pParent)
    : QWidget(pParent, Qt::SplashScreen | Qt::FramelessWindowHint), m_pOwner(pParent) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
}

CStartupSplash::~CStartupSplash() {
    if (s_pInstance == this) {
        s_pInstance = nullptr;
    }
}

void CStartupSplash::EnableSplashScreen(bool bEnable) {
    s_bEnabled = bEnable;
}

void CStartupSplash::ShowSplashScreen(QWidget* pParent) {
    if (!s_bEnabled || s_pInstance != nullptr) {
        return;
    }
    auto* splash = new CStartupSplash(pParent);
    s_pInstance = splash;
    if (!splash->Create(pParent)) {
        s_pInstance = nullptr;
        delete splash;
        return;
    }
    splash->repaint();
}

bool CStartupSplash::Create(QWidget* pParent) {
    m_bitmap = CResources::LoadBitmap(IDB_SPLASH);
    if (m_bitmap.isNull()) {
        return false;
    }
    setFixedSize(m_bitmap.size());
    // Centred over the owner when it shows, else on the screen's work area.
    QRect area;
    if (pParent != nullptr && pParent->isVisible()) {
        area = pParent->frameGeometry();
    } else {
        QScreen* screen = pParent != nullptr && pParent->screen() != nullptr
                              ? pParent->screen()
                              : QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            area = screen->availableGeometry();
        }
    }
    if (area.isValid()) {
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }
    show();
    raise();
    startTimer(kTimerMs);
    return true;
}

bool CStartupSplash::PreTranslateAppMessage(QObject*, QEvent* pEvent) {
    if (s_pInstance == nullptr) {
        return false;
    }
    switch (pEvent->type()) {
    case QEvent::ShortcutOverride:
        // Claim the key so that no shortcut (a menu mnemonic) acts on it; its press follows.
        pEvent->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
        s_pInstance->HideSplashScreen();
        return true;
    default:
        return false;
    }
}

void CStartupSplash::HideSplashScreen() {
    if (s_pInstance == this) {
        s_pInstance = nullptr;
    }
    QPointer<QWidget> owner = m_pOwner;
    hide();
    deleteLater();
    // Nothing of the splash may stay on the main window.
    if (owner != nullptr && owner->isVisible()) {
        owner->repaint();
    }
}

void CStartupSplash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_bitmap);
}

void CStartupSplash::timerEvent(QTimerEvent* pEvent) {
    killTimer(pEvent->timerId());
    HideSplashScreen();
}
