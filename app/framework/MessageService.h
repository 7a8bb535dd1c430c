#pragma once

#include "app/framework/WinTypes.h"

#include <string>

// Message box types: buttons plus an icon.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNOCANCEL = 0x03;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON2 = 0x100; // the second button (No) is the default
constexpr UINT MB_TYPEMASK = 0x0F;
constexpr UINT MB_ICONMASK = 0xF0;

// Buttons pressed (also the results of modal dialogs).
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The one way the program shows messages. Every box carries the application title as its
// caption. Tests install a recorder in its place.
class CMessageService {
public:
    virtual ~CMessageService() = default;

    // Shows one message and returns the button pressed.
    virtual int Show(const std::string& strText, const std::string& strCaption, UINT nType);

    static CMessageService& Current();
    // Makes the service current (null: the built-in one) and returns the one it replaces.
    static CMessageService* Install(CMessageService* pService);

    // While the program is ending on a signal nothing is shown: a question gets the answer that
    // changes nothing.
    static void SetEnding(bool bEnding);
    // While set, messages go to standard error: the user interface is not (yet) there.
    static void SetConsoleOnly(bool bConsole);
    static bool IsEnding();
    static int QuietAnswer(UINT nType);
};

// A message with the application title as caption; returns the button pressed.
int AfxMessageBox(const std::string& strText, UINT nType = MB_OK);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK);
