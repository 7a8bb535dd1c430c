#include "app/shell/WindowPlacement.h"

#include "app/shell/Registry.h"

namespace {

int RaisedSize(DWORD value) {
    // Compared unsigned: a stored negative size is a huge number and stays as it is.
    const DWORD minimum = CWindowPlacement::kMinimumSize;
    return static_cast<int>(value < minimum ? minimum : value);
}

} // namespace

void CWindowPlacement::Apply(const DWORD* pXPos, const DWORD* pYPos, const DWORD* pWidth,
                             const DWORD* pHeight, CREATESTRUCT& cs) {
    if (pXPos == nullptr) {
        return;
    }
    cs.x = static_cast<int>(*pXPos);
    cs.y = static_cast<int>(pYPos != nullptr ? *pYPos : 0);
    cs.cx = RaisedSize(pWidth != nullptr ? *pWidth : 0);
    cs.cy = RaisedSize(pHeight != nullptr ? *pHeight : 0);
}

void CWindowPlacement::ReadMainWindow(CREATESTRUCT& cs) {
    DWORD x = 0;
    if (!ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", &x)) {
        return;
    }
    DWORD y = 0, width = 0, height = 0;
    ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "YPos", &y);
    ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Width", &width);
    ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Height", &height);
    Apply(&x, &y, &width, &height, cs);
}

void CWindowPlacement::Write(const std::string& strKey, const QRect& rect) {
    WriteRegDword(HKEY_CURRENT_USER, strKey, "XPos", static_cast<DWORD>(rect.left()));
    WriteRegDword(HKEY_CURRENT_USER, strKey, "YPos", static_cast<DWORD>(rect.top()));
    WriteRegDword(HKEY_CURRENT_USER, strKey, "Width", static_cast<DWORD>(rect.width()));
    WriteRegDword(HKEY_CURRENT_USER, strKey, "Height", static_cast<DWORD>(rect.height()));
}
