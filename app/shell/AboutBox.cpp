#include "app/shell/AboutBox.h"

#include "app/framework/Resources.h"
#include "app/shell/Resource.h"

#include <QLabel>
#include <QPushButton>

namespace {

// A picture control shows its picture at the picture's own size.
QLabel* AddPicture(QWidget* pParent, const QPixmap& pixmap, int x, int y) {
    auto* label = new QLabel(pParent);
    label->setPixmap(pixmap);
    QRect place = CDialog::UnitsToPixels(x, y, 0, 0);
    label->setGeometry(place.x(), place.y(), pixmap.width(), pixmap.height());
    return label;
}

} // namespace

CAboutBox::CAboutBox(QWidget* pParent) : CDialog(pParent), m_pOk(new QPushButton("OK", this)) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Zarnex Network Controller"));
    SetDialogSize(339, 165);
    QIcon icon = CResources::LoadIcon(IDR_MAINFRAME);
    AddPicture(this, icon.pixmap(32, 32), 7, 7);
    AddPicture(this, CResources::LoadBitmap(IDB_ABOUT_PICTURE), 95, 33);
    AddPicture(this, CResources::LoadBitmap(IDB_ABOUT_BANNER), 24, 94);
    PlaceControl(m_pOk, 302, 144, 30, 14);
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
}

void CAboutBox::showEvent(QShowEvent* pEvent) {
    CDialog::showEvent(pEvent);
    CenterWindow();
}
