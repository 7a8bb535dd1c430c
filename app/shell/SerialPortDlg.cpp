#include "app/shell/SerialPortDlg.h"

#include "app/framework/Resources.h"
#include "app/shell/Resource.h"
#include "serial/PortList.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cctype>

namespace {

std::vector<std::string> MachinePorts() {
    return EnumerateSerialPorts();
}

bool NaturalLessNoCase(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[j]);
        if (std::isdigit(ca) && std::isdigit(cb)) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && a[ei] == '0') {
                ++ei;
            }
            while (ej < b.size() && b[ej] == '0') {
                ++ej;
            }
            std::size_t si = ei, sj = ej;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) {
                ++ei;
            }
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) {
                ++ej;
            }
            // Longer digit runs are larger numbers; equal lengths compare digit by digit.
            if (ei - si != ej - sj) {
                return ei - si < ej - sj;
            }
            int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0) {
                return c < 0;
            }
            i = ei;
            j = ej;
            continue;
        }
        int la = std::tolower(ca), lb = std::tolower(cb);
        if (la != lb) {
            return la < lb;
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return a < b; // names equal but for letter case keep one fixed order
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::vector<std::string> (*CSerialPortDlg::s_pfnListPorts)() = MachinePorts;

CSerialPortDlg::CSerialPortDlg(const std::string& strPort, QWidget* pParent)
    : CDialog(pParent), m_strPort(strPort), m_pCombo(new QComboBox(this)) {
    setObjectName(QStringLiteral("SerialPortDlg"));
    setWindowTitle(QStringLiteral("Serial Port Settings"));
    SetDialogSize(142, 90);

    auto* icon = new QLabel(this);
    icon->setPixmap(CResources::LoadIcon(IDI_SERIAL_PORT).pixmap(32, 32));
    QRect iconPlace = UnitsToPixels(8, 8, 0, 0);
    icon->setGeometry(iconPlace.x(), iconPlace.y(), 32, 32);

    auto* label = new QLabel(QStringLiteral("Port Used:"), this);
    PlaceControl(label, 37, 27, 34, 8);
    label->adjustSize();

    m_pCombo->setObjectName(QStringLiteral("PortCombo"));
    m_pCombo->setEditable(true);
    m_pCombo->setInsertPolicy(QComboBox::NoInsert);
    m_pCombo->setMaxVisibleItems(8);
    QRect comboPlace = UnitsToPixels(37, 36, 67, 33);
    m_pCombo->setGeometry(comboPlace.x(), comboPlace.y(), comboPlace.width(),
                          m_pCombo->sizeHint().height());
    label->setBuddy(m_pCombo);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(ok, 14, 69, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancel, 78, 69, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    FillPortList();
}

void CSerialPortDlg::SortPortNames(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), NaturalLessNoCase);
}

int CSerialPortDlg::FindPortEntry(const std::vector<std::string>& names,
                                  const std::string& strPort) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (EqualNoCase(names[i], strPort)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CSerialPortDlg::FillPortList() {
    m_pCombo->clear();
    std::vector<std::string> names =
        s_pfnListPorts != nullptr ? s_pfnListPorts() : std::vector<std::string>();
    SortPortNames(names);
    for (const std::string& name : names) {
        m_pCombo->addItem(QString::fromStdString(name));
    }
    int index = FindPortEntry(names, m_strPort);
    if (index >= 0) {
        m_pCombo->setCurrentIndex(index);
    } else {
        m_pCombo->setCurrentIndex(-1);
        m_pCombo->setEditText(QString::fromStdString(m_strPort));
    }
}

void CSerialPortDlg::accept() {
    m_strPort = m_pCombo->currentText().toStdString();
    CDialog::accept();
}

void CSerialPortDlg::showEvent(QShowEvent* pEvent) {
    CDialog::showEvent(pEvent);
    // Centred in the screen's work area.
    QScreen* screen = parentWidget() != nullptr && parentWidget()->screen() != nullptr
                          ? parentWidget()->screen()
                          : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        move(area.left() + (area.width() - frame.width()) / 2,
             area.top() + (area.height() - frame.height()) / 2);
    }
}
