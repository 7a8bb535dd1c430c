#include "app/shell/SerialPortDlg.h"

#include "app/framework/Resources.h"
#include "app/shell/NetPortHistory.h"
#include "app/shell/Resource.h"
#include "serial/NetAddress.h"
#include "serial/PortList.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTreeView>

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
std::vector<CSerialPortInfo> (*CSerialPortDlg::s_pfnPortDetails)() = ListSerialPorts;

CSerialPortDlg::CSerialPortDlg(const std::string& strPort, QWidget* pParent)
    : CDialog(pParent), m_strPort(strPort), m_pCombo(new QComboBox(this)),
      m_pModel(new QStandardItemModel(0, 2, this)) {
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
    m_pCombo->setToolTip(QStringLiteral("A port from the list, a device path, or a device server "
                                        "as socket://HOST:PORT or rfc2217://HOST:PORT"));
    // The dropped list shows each port's description in a second column; the edit field and
    // the result hold the name alone.
    m_pCombo->setModel(m_pModel);
    auto* view = new QTreeView(m_pCombo);
    view->setHeaderHidden(true);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pCombo->setView(view);
    m_pCombo->setModelColumn(0);
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

std::string CSerialPortDlg::DescribePort(const std::string& strName,
                                         const std::vector<CSerialPortInfo>& details) {
    CNetAddress address;
    if (CNetAddress::Parse(strName, address)) {
        return address.m_nKind == CNetAddress::rfc2217
                   ? "device server, Telnet with COM-port control (RFC 2217)"
                   : "device server, raw TCP";
    }
    for (const CSerialPortInfo& info : details) {
        if (info.strName == strName) {
            return info.Describe();
        }
    }
    return {};
}

void CSerialPortDlg::FillPortList() {
    m_pModel->removeRows(0, m_pModel->rowCount());
    std::vector<std::string> names =
        s_pfnListPorts != nullptr ? s_pfnListPorts() : std::vector<std::string>();
    const std::vector<CSerialPortInfo> details =
        s_pfnPortDetails != nullptr ? s_pfnPortDetails() : std::vector<CSerialPortInfo>();
    for (const std::string& net : CNetPortHistory::Load()) {
        if (FindPortEntry(names, net) < 0) {
            names.push_back(net);
        }
    }
    SortPortNames(names);
    for (const std::string& name : names) {
        auto* nameItem = new QStandardItem(QString::fromStdString(name));
        auto* textItem = new QStandardItem(QString::fromStdString(DescribePort(name, details)));
        nameItem->setToolTip(textItem->text());
        nameItem->setEditable(false);
        textItem->setEditable(false);
        m_pModel->appendRow({nameItem, textItem});
    }
    // The dropped list is as wide as its texts, however narrow the box.
    if (auto* view = qobject_cast<QTreeView*>(m_pCombo->view())) {
        view->resizeColumnToContents(0);
        view->resizeColumnToContents(1);
        view->setColumnWidth(0, view->columnWidth(0) + 12); // room between name and text
        const int width = view->columnWidth(0) + view->columnWidth(1) + 2 * view->frameWidth() +
                          view->verticalScrollBar()->sizeHint().width();
        view->setMinimumWidth(std::min(width, 900));
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
    CNetPortHistory::Remember(m_strPort);
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
