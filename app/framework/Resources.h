#pragma once

#include "app/framework/WinTypes.h"

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QPoint>

#include <string>
#include <vector>

// The program's resources by number: menus, accelerator tables, tool bars, bitmaps, icons and
// cursors. The program's resource script registers them at start-up; frames and views load
// them by number.
class CResources {
public:
    // One menu entry: a command, a separator, or a popup with its own entries.
    struct MenuItem {
        UINT nID = 0;
        std::string strText;
        bool bSeparator = false;
        std::vector<MenuItem> popup; // non-empty for a popup

        static MenuItem Command(UINT nID, std::string strText) {
            return {nID, std::move(strText), false, {}};
        }
        static MenuItem Separator() { return {0, {}, true, {}}; }
        static MenuItem Popup(std::string strText, std::vector<MenuItem> items) {
            return {0, std::move(strText), false, std::move(items)};
        }
    };
    using Menu = std::vector<MenuItem>; // the popups of a menu bar, or one context menu's popups

    // One accelerator: a key with modifiers (Qt's key and modifier values) and its command.
    struct Accel {
        int nKey;
        int nModifiers;
        UINT nID;
    };
    using AccelTable = std::vector<Accel>;

    // A tool bar: buttons of one size cut in order from one bitmap; 0 in the items is a
    // separator.
    struct ToolBar {
        UINT nBitmapID;
        int cx;
        int cy;
        std::vector<UINT> items;
    };

    static void AddMenu(UINT nID, Menu menu);
    static const Menu* FindMenu(UINT nID);
    static void AddAccelerators(UINT nID, AccelTable table);
    static const AccelTable* FindAccelerators(UINT nID);
    // The command of a key in a table, 0 when the key is not in it. Keypad and main keys with
    // the same meaning are one key; Shift+Tab arrives as Backtab.
    static UINT MatchAccelerator(const AccelTable& table, int nKey, int nModifiers);
    static void AddToolBar(UINT nID, ToolBar toolBar);
    static const ToolBar* FindToolBar(UINT nID);

    // Pictures, from files or the program's Qt resources (":/...").
    static void AddBitmap(UINT nID, std::string strPath);
    static void AddIcon(UINT nID, std::vector<std::string> paths); // sizes of one icon
    static void AddCursor(UINT nID, std::string strPath, QPoint hotSpot);
    static QPixmap LoadBitmap(UINT nID); // null when missing
    static QIcon LoadIcon(UINT nID);     // null when missing
    static QCursor LoadCursor(UINT nID); // the arrow when missing
    static bool HasBitmap(UINT nID);
    static bool HasIcon(UINT nID);
    static bool HasCursor(UINT nID);
};
