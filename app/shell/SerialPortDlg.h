#pragma once

#include "app/framework/Dialog.h"

#include <string>
#include <vector>

class QComboBox;

// The Serial Port Settings dialog (dialog 156): this machine's serial ports in an editable,
// sorted list; the operator picks one or types any port name.
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
    // The machine's ports (replaceable for tests).
    static std::vector<std::string> (*s_pfnListPorts)();

    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void FillPortList();

    std::string m_strPort;
    QComboBox* m_pCombo;
};
