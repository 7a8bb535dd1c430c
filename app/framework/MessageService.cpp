#include "app/framework/MessageService.h"

#include "app/framework/FrameworkIds.h"
#include "app/framework/StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>
#include <cstdio>

namespace {

CMessageService g_builtIn;
CMessageService* g_pCurrent = &g_builtIn;
std::atomic<bool> g_bEnding{false};
std::atomic<bool> g_bConsoleOnly{false};

} // namespace

int CMessageService::Show(const std::string& strText, const std::string& strCaption, UINT nType) {
    if (IsEnding()) {
        return QuietAnswer(nType);
    }
    // Without a user interface (it failed to start) the message goes to standard error.
    if (g_bConsoleOnly || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr, "%s: %s\n", strCaption.c_str(), strText.c_str());
        return QuietAnswer(nType);
    }
    QMessageBox box(QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                      : QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(strCaption));
    box.setText(QString::fromStdString(strText));
    box.setTextFormat(Qt::PlainText);
    switch (nType & MB_ICONMASK) {
    case MB_ICONSTOP:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    switch (nType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((nType & MB_DEFBUTTON2) != 0 ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    }
    box.exec();
    if (IsEnding()) {
        return QuietAnswer(nType);
    }
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return QuietAnswer(nType);
    }
}

CMessageService& CMessageService::Current() {
    return *g_pCurrent;
}

CMessageService* CMessageService::Install(CMessageService* pService) {
    CMessageService* previous = g_pCurrent;
    g_pCurrent = pService ? pService : &g_builtIn;
    return previous == &g_builtIn ? nullptr : previous;
}

void CMessageService::SetEnding(bool bEnding) {
    g_bEnding = bEnding;
}

void CMessageService::SetConsoleOnly(bool bConsole) {
    g_bConsoleOnly = bConsole;
}

bool CMessageService::IsEnding() {
    return g_bEnding;
}

int CMessageService::QuietAnswer(UINT nType) {
    switch (nType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return IDCANCEL;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

int AfxMessageBox(const std::string& strText, UINT nType) {
    return CMessageService::Current().Show(strText, CStringTable::Load(AFX_IDS_APP_TITLE), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType) {
    return AfxMessageBox(CStringTable::Load(nIDPrompt), nType);
}
