#pragma once

#include <QCursor>
#include <QGuiApplication>

// The wait cursor for the life of the object; nests.
class CWaitCursor {
public:
    CWaitCursor() {
        if (QGuiApplication::instance() != nullptr) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
            m_bSet = true;
        }
    }
    ~CWaitCursor() {
        if (m_bSet && QGuiApplication::instance() != nullptr) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    bool m_bSet = false;
};
