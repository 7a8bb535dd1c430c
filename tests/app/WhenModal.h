#pragma once

#include <functional>

class QWidget;

// Runs fn on the first modal dialog that match accepts once it is up; a failure of the test when
// none is up within five seconds. Call it before the command that opens the dialog.
void WhenModalWidget(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> fn);

template <class TDialog> void WhenModal(std::function<void(TDialog*)> fn) {
    WhenModalWidget([](QWidget* w) { return qobject_cast<TDialog*>(w) != nullptr; },
                    [fn](QWidget* w) { fn(qobject_cast<TDialog*>(w)); });
}
