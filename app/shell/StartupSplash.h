#pragma once

#include <QPixmap>
#include <QWidget>

class QEvent;
class QObject;

// The start-up splash screen (bitmap 102): shown while the main window is created, gone after
// 2000 ms or at the first key or mouse-button press anywhere in the program, which it swallows.
class CStartupSplash : public QWidget {
    Q_OBJECT
public:
    static void EnableSplashScreen(bool bEnable);
    static bool IsEnabled() { return s_bEnabled; }
    // Shows the splash over (or, when the owner is not yet visible, on the screen centred
    // without) pParent; nothing when splashes are disabled or one is already up.
    static void ShowSplashScreen(QWidget* pParent);
    // Every event passes here first: a key or button press while the splash is up hides it and
    // is consumed (true).
    static bool PreTranslateAppMessage(QObject* pTarget, QEvent* pEvent);
    // The splash on the screen now, or null.
    static CStartupSplash* GetInstance() { return s_pInstance; }

    static constexpr int kTimerMs = 2000;

    ~CStartupSplash() override;
    void HideSplashScreen();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void timerEvent(QTimerEvent* pEvent) override;

private:
    explicit CStartupSplash(QWidget* pParent);
    bool Create(QWidget* pParent);

    QPixmap m_bitmap;
    QWidget* m_pOwner = nullptr;

    static CStartupSplash* s_pInstance;
    static bool s_bEnabled;
};
