#include "app/framework/Dialog.h"

#include "app/framework/MessageService.h"

#include <QGuiApplication>
#include <QScreen>

CDialog::CDialog(QWidget* pParent) : QDialog(pParent) {
    setFont(DialogFont());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

int CDialog::DoModal() {
    return RunModal(*this);
}

int CDialog::RunModal(QDialog& dialog) {
    if (CMessageService::IsEnding()) {
        return IDCANCEL;
    }
    int result = dialog.exec();
    if (CMessageService::IsEnding()) {
        return IDCANCEL;
    }
    return result == QDialog::Accepted ? IDOK : IDCANCEL;
}

int CDialog::UnitsToPixelsX(int nUnits) {
    return (nUnits * kBaseUnitX + 2) / 4;
}

int CDialog::UnitsToPixelsY(int nUnits) {
    return (nUnits * kBaseUnitY + 4) / 8;
}

QRect CDialog::UnitsToPixels(int x, int y, int cx, int cy) {
    return QRect(UnitsToPixelsX(x), UnitsToPixelsY(y), UnitsToPixelsX(cx), UnitsToPixelsY(cy));
}

QFont CDialog::DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

void CDialog::SetDialogSize(int cx, int cy) {
    setFixedSize(UnitsToPixelsX(cx), UnitsToPixelsY(cy));
}

void CDialog::PlaceControl(QWidget* pControl, int x, int y, int cx, int cy) {
    pControl->setGeometry(UnitsToPixels(x, y, cx, cy));
}

void CDialog::CenterWindow(QWidget* pAlternateOwner) {
    QWidget* owner = pAlternateOwner != nullptr ? pAlternateOwner : parentWidget();
    QRect area;
    if (owner != nullptr && owner->window()->isVisible()) {
        area = owner->window()->frameGeometry();
    } else {
        QScreen* screen = owner != nullptr && owner->screen() != nullptr
                              ? owner->screen()
                              : QGuiApplication::primaryScreen();
        if (screen == nullptr) {
            return;
        }
        area = screen->availableGeometry();
    }
    QRect frame = frameGeometry();
    move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}
