#pragma once

#include <cstdint>

// The few platform types and values the program's interfaces are written in.
using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;

#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

// Show commands for frames.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
constexpr int SW_RESTORE = 9;

// A position or size the system chooses.
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// What a frame is created with; PreCreateWindow may change it.
struct CREATESTRUCT {
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    int cx = CW_USEDEFAULT;
    int cy = CW_USEDEFAULT;
};
