#include "tests/app/WhenModal.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <gtest/gtest.h>

void WhenModalWidget(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> fn) {
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, [timer, match, fn, deadline] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && match(modal)) {
            timer->stop();
            timer->deleteLater();
            fn(modal);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected dialog did not appear";
        }
    });
    timer->start(20);
}
