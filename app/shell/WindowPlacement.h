#pragma once

#include "app/framework/WinTypes.h"

#include <QRect>

#include <string>

// Where windows go between runs: the main window's stored placement, and the four values a
// window leaves when it is destroyed.
class CWindowPlacement {
public:
    static constexpr int kMinimumSize = 50;

    // The main window's creation placement from the settings: untouched without "XPos";
    // otherwise (XPos, YPos) and Width x Height, a missing value counting as 0, and a width or
    // height below 50 (compared as unsigned numbers) raised to 50.
    static void ReadMainWindow(CREATESTRUCT& cs);
    // The same rule on values already read (null: missing).
    static void Apply(const DWORD* pXPos, const DWORD* pYPos, const DWORD* pWidth,
                      const DWORD* pHeight, CREATESTRUCT& cs);
    // Writes "XPos", "YPos", "Width", "Height" of a window rectangle to a key of the user's
    // settings, in that order.
    static void Write(const std::string& strKey, const QRect& rect);
};
