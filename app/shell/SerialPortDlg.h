#pragma once

#include "app/framework/Dialog.h"
#include "serial/SerialPortInfo.h"

#include <string>
#include <vector>

class QComboBox;
class QStandardItemModel;

// The Serial Port Settings dialog (dialog 156): this machine's serial ports, with what the
// system knows of each, and the network ports chosen last, in an editable, sorted list; the
// operator picks one or types any port name, device path or socket:// or rfc2217:// name.
class CSerialPortDlg : public CDialog {
    Q_OBJECT
public:
    CSerialPortDlg(const std::string& strPort, QWidget* pParent = nullptr);

    // The port name: the initial one, and after OK the combo's text.
    const std::string& GetPortName() const { return m_strPort; }
    QComboBox* GetComboBox() const { return m_pCombo; }

    // The list as the dialog shows it: in natural order (COM2 before COM10), letter case aside.
    static void SortPortNames(std::vector<std::string>& names);
    // The entry the dialog selects for a port name: the first equal to it without regard to
    // letter case; -1 when none is (the name then stands in the edit field as it is).
    static int FindPortEntry(const std::vector<std::string>& names, const std::string& strPort);
    // The machine's ports, and what the system knows of them (replaceable for tests).
    static std::vector<std::string> (*s_pfnListPorts)();
    static std::vector<CSerialPortInfo> (*s_pfnPortDetails)();
    // What the list says of a port beside its name.
    static std::string DescribePort(const std::string& strName,
                                    const std::vector<CSerialPortInfo>& details);

    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void FillPortList();

    std::string m_strPort;
    QComboBox* m_pCombo;
    QStandardItemModel* m_pModel;
};
