#pragma once

#include "app/framework/WinTypes.h"

#include <QDialog>
#include <QFont>
#include <QRect>

// A modal dialog laid out in dialog units, as the program's dialog tables give them. One
// horizontal unit is a quarter and one vertical unit an eighth of the dialog font's base
// character cell; the base cell of the 8-point dialog font is 6 x 13 pixels.
class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(QWidget* pParent = nullptr);

    // Runs the dialog modally: IDOK or IDCANCEL. While the program is ending on a signal no
    // dialog is shown and the answer is IDCANCEL.
    int DoModal();
    static int RunModal(QDialog& dialog);

    static constexpr int kBaseUnitX = 6;
    static constexpr int kBaseUnitY = 13;
    static int UnitsToPixelsX(int nUnits);
    static int UnitsToPixelsY(int nUnits);
    static QRect UnitsToPixels(int x, int y, int cx, int cy);
    // The dialog font: 8-point sans serif ("MS Sans Serif" where it exists).
    static QFont DialogFont();

protected:
    // Sizes the dialog's client area in dialog units and sets its font.
    void SetDialogSize(int cx, int cy);
    // Places a control at a position and size in dialog units.
    static void PlaceControl(QWidget* pControl, int x, int y, int cx, int cy);
    // Centres the dialog over its parent window, or on the screen's work area without one.
    void CenterWindow(QWidget* pAlternateOwner = nullptr);
};
