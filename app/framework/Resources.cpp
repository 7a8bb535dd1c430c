#include "app/framework/Resources.h"

#include <map>

namespace {

struct CursorEntry {
    std::string strPath;
    QPoint hotSpot;
};

struct Store {
    std::map<UINT, CResources::Menu> menus;
    std::map<UINT, CResources::AccelTable> accelerators;
    std::map<UINT, CResources::ToolBar> toolBars;
    std::map<UINT, std::string> bitmaps;
    std::map<UINT, std::vector<std::string>> icons;
    std::map<UINT, CursorEntry> cursors;
};

Store& TheStore() {
    static Store store;
    return store;
}

int NormaliseKey(int nKey) {
    return nKey == Qt::Key_Backtab ? static_cast<int>(Qt::Key_Tab) : nKey;
}

} // namespace

void CResources::AddMenu(UINT nID, Menu menu) {
    TheStore().menus[nID] = std::move(menu);
}

const CResources::Menu* CResources::FindMenu(UINT nID) {
    auto& m = TheStore().menus;
    auto it = m.find(nID);
    return it == m.end() ? nullptr : &it->second;
}

void CResources::AddAccelerators(UINT nID, AccelTable table) {
    TheStore().accelerators[nID] = std::move(table);
}

const CResources::AccelTable* CResources::FindAccelerators(UINT nID) {
    auto& m = TheStore().accelerators;
    auto it = m.find(nID);
    return it == m.end() ? nullptr : &it->second;
}

UINT CResources::MatchAccelerator(const AccelTable& table, int nKey, int nModifiers) {
    const int relevant = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    int mods = nModifiers & relevant;
    int key = NormaliseKey(nKey);
    for (const Accel& a : table) {
        if (NormaliseKey(a.nKey) == key && (a.nModifiers & relevant) == mods) {
            return a.nID;
        }
    }
    return 0;
}

void CResources::AddToolBar(UINT nID, ToolBar toolBar) {
    TheStore().toolBars[nID] = std::move(toolBar);
}

const CResources::ToolBar* CResources::FindToolBar(UINT nID) {
    auto& m = TheStore().toolBars;
    auto it = m.find(nID);
    return it == m.end() ? nullptr : &it->second;
}

void CResources::AddBitmap(UINT nID, std::string strPath) {
    TheStore().bitmaps[nID] = std::move(strPath);
}

void CResources::AddIcon(UINT nID, std::vector<std::string> paths) {
    TheStore().icons[nID] = std::move(paths);
}

void CResources::AddCursor(UINT nID, std::string strPath, QPoint hotSpot) {
    TheStore().cursors[nID] = {std::move(strPath), hotSpot};
}

QPixmap CResources::LoadBitmap(UINT nID) {
    auto& m = TheStore().bitmaps;
    auto it = m.find(nID);
    return it == m.end() ? QPixmap() : QPixmap(QString::fromStdString(it->second));
}

QIcon CResources::LoadIcon(UINT nID) {
    auto& m = TheStore().icons;
    auto it = m.find(nID);
    if (it == m.end()) {
        return QIcon();
    }
    QIcon icon;
    for (const std::string& path : it->second) {
        icon.addFile(QString::fromStdString(path));
    }
    return icon;
}

QCursor CResources::LoadCursor(UINT nID) {
    auto& m = TheStore().cursors;
    auto it = m.find(nID);
    if (it == m.end()) {
        return QCursor(Qt::ArrowCursor);
    }
    QPixmap pixmap(QString::fromStdString(it->second.strPath));
    if (pixmap.isNull()) {
        return QCursor(Qt::ArrowCursor);
    }
    return QCursor(pixmap, it->second.hotSpot.x(), it->second.hotSpot.y());
}

bool CResources::HasBitmap(UINT nID) {
    return TheStore().bitmaps.count(nID) != 0;
}

bool CResources::HasIcon(UINT nID) {
    return TheStore().icons.count(nID) != 0;
}

bool CResources::HasCursor(UINT nID) {
    return TheStore().cursors.count(nID) != 0;
}
