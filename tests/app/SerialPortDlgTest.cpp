// The Serial Port Settings dialog's list: what the system knows of each port beside its name,
// and the network ports chosen last.

#include "app/shell/SerialPortDlg.h"
#include "app/shell/NetPortHistory.h"
#include "app/shell/Registry.h"
#include "tests/app/TempConfig.h"

#include <QAbstractItemModel>
#include <QComboBox>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> TwoPorts() {
    return {"COM1", "/dev/ttyUSB0"};
}

std::vector<CSerialPortInfo> TwoPortsDetails() {
    CSerialPortInfo uart;
    uart.strName = "COM1";
    uart.strDevice = "/dev/ttyS0";
    uart.strUartType = "16550A";
    CSerialPortInfo usb;
    usb.strName = usb.strDevice = "/dev/ttyUSB0";
    usb.strVendorId = "0403";
    usb.strProductId = "6001";
    usb.strProduct = "FT232R USB UART";
    return {uart, usb};
}

class SerialPortDlgTest : public ::testing::Test {
protected:
    SerialPortDlgTest() {
        CSerialPortDlg::s_pfnListPorts = TwoPorts;
        CSerialPortDlg::s_pfnPortDetails = TwoPortsDetails;
    }
    ~SerialPortDlgTest() override {
        CSerialPortDlg::s_pfnListPorts = m_pfnSavedList;
        CSerialPortDlg::s_pfnPortDetails = m_pfnSavedDetails;
    }
    static std::vector<std::string> Rows(CSerialPortDlg& dialog, int column) {
        std::vector<std::string> rows;
        QAbstractItemModel* model = dialog.GetComboBox()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            rows.push_back(model->index(row, column).data().toString().toStdString());
        }
        return rows;
    }
    static std::string Choose(const std::string& strText) {
        CSerialPortDlg dialog("COM1");
        dialog.GetComboBox()->setEditText(QString::fromStdString(strText));
        dialog.accept();
        return dialog.GetPortName();
    }

    CTempConfig m_config;
    decltype(CSerialPortDlg::s_pfnListPorts) m_pfnSavedList = CSerialPortDlg::s_pfnListPorts;
    decltype(CSerialPortDlg::s_pfnPortDetails) m_pfnSavedDetails = CSerialPortDlg::s_pfnPortDetails;
};

TEST_F(SerialPortDlgTest, ListsWhatTheSystemKnowsAndTheNetworkPortsChosenLast) {
    EXPECT_EQ(Choose("socket://192.0.2.7:4001"), "socket://192.0.2.7:4001");
    EXPECT_EQ(Choose("/dev/ttyS4"), "/dev/ttyS4"); // not a network port: not remembered
    EXPECT_EQ(Choose("rfc2217://[::1]:2217"), "rfc2217://[::1]:2217");
    EXPECT_EQ(Choose("socket://no-port"), "socket://no-port"); // malformed: not remembered

    CSerialPortDlg dialog("rfc2217://[::1]:2217");
    EXPECT_EQ(Rows(dialog, 0),
              (std::vector<std::string>{"/dev/ttyUSB0", "COM1", "rfc2217://[::1]:2217",
                                        "socket://192.0.2.7:4001"}));
    EXPECT_EQ(Rows(dialog, 1), (std::vector<std::string>{
                                   "FT232R USB UART (USB 0403:6001)", "16550A UART, /dev/ttyS0",
                                   "device server, Telnet with COM-port control (RFC 2217)",
                                   "device server, raw TCP"}));
    EXPECT_EQ(dialog.GetComboBox()->currentIndex(), 2);
    EXPECT_EQ(dialog.GetComboBox()->currentText().toStdString(), "rfc2217://[::1]:2217");
}

TEST_F(SerialPortDlgTest, KeepsTheLastFiveNetworkPortsMostRecentFirst) {
    for (int i = 1; i <= 7; ++i) {
        Choose("socket://line-" + std::to_string(i) + ":4001");
    }
    Choose("SOCKET://line-5:4001"); // the same port again, typed otherwise: moves up
    const std::vector<std::string> kept = CNetPortHistory::Load();
    EXPECT_EQ(kept, (std::vector<std::string>{"SOCKET://line-5:4001", "socket://line-7:4001",
                                              "socket://line-6:4001", "socket://line-4:4001",
                                              "socket://line-3:4001"}));
    // A damaged store gives what can be used.
    WriteRegString(HKEY_CURRENT_USER, CNetPortHistory::kKey, "Port2", "rubbish");
    EXPECT_EQ(CNetPortHistory::Load().size(), 4u);
}

} // namespace
