#include "app/framework/MDIFrameWnd.h"

#include "app/framework/Dialog.h"
#include "app/framework/DocTemplate.h"
#include "app/framework/Document.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/LockKeys.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDILayout.h"
#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/framework/View.h"
#include "app/framework/WinApp.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include <algorithm>

namespace {

constexpr const char* kCommandProperty = "quorvelCommand";
constexpr const char* kMruPlaceholder = "quorvelMruPlaceholder";
constexpr const char* kMruEntry = "quorvelMruEntry";
constexpr const char* kWindowEntry = "quorvelWindowEntry";
constexpr int kIdleMs = 200;

UINT CommandOf(const QAction* action) {
    QVariant v = action->property(kCommandProperty);
    return v.isValid() ? v.toUInt() : 0;
}

std::string StripMnemonic(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
        }
        out += text[i];
    }
    return out.substr(0, out.find('\t'));
}

} // namespace

CMDIFrameWnd::CMDIFrameWnd() {
    // The stored placement decides the size, however small; the bars do not hold it open.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    setMinimumSize(1, 1);
    MapCommand(
        ID_VIEW_TOOLBAR,
        [this] {
            if (m_pToolBar != nullptr) {
                m_pToolBar->setVisible(!m_pToolBar->isVisible());
            }
        },
        [this](CCmdUI& ui) {
            ui.Enable(m_pToolBar != nullptr);
            ui.SetCheck(m_pToolBar != nullptr && !m_pToolBar->isHidden());
        });
    MapCommand(
        ID_VIEW_STATUS_BAR,
        [this] {
            if (m_pMessagePane != nullptr) {
                statusBar()->setVisible(statusBar()->isHidden());
            }
        },
        [this](CCmdUI& ui) {
            ui.Enable(m_pMessagePane != nullptr);
            ui.SetCheck(m_pMessagePane != nullptr && !statusBar()->isHidden());
        });
    auto anyVisible = [this](CCmdUI& ui) { ui.Enable(!VisibleChildren().empty()); };
    MapCommand(
        ID_WINDOW_CASCADE, [this] { OnWindowCascade(); }, anyVisible);
    MapCommand(
        ID_WINDOW_TILE_HORZ, [this] { OnWindowTileHorz(); }, anyVisible);
    MapCommand(
        ID_WINDOW_TILE_VERT, [this] { OnWindowTileVert(); }, anyVisible);
    MapCommandRange(
        AFX_IDM_FIRST_MDICHILD, AFX_IDM_FIRST_MDICHILD + AFX_MAX_WINDOW_LIST - 1,
        [this](UINT nID) {
            std::vector<CMDIChildWnd*> children = VisibleChildren();
            std::size_t index = nID - AFX_IDM_FIRST_MDICHILD;
            if (index < children.size()) {
                children[index]->ActivateFrame();
            }
        },
        [this](CCmdUI& ui) {
            std::vector<CMDIChildWnd*> children = VisibleChildren();
            std::size_t index = ui.m_nID - AFX_IDM_FIRST_MDICHILD;
            ui.Enable(index < children.size());
            ui.SetCheck(index < children.size() && children[index] == MDIGetActive());
        });
    MapCommand(ID_WINDOW_MORE, [this] { OnWindowMore(); });
}

CMDIFrameWnd::~CMDIFrameWnd() {
    m_bDestroyed = true;
    if (m_pIdleTimer != nullptr) {
        m_pIdleTimer->stop();
    }
    // The client area and the child frames go after this part of the object: nothing of
    // theirs may call back into it.
    if (m_pClient != nullptr) {
        disconnect(m_pClient, nullptr, this, nullptr);
    }
    for (CMDIChildWnd* pChild : m_children) {
        pChild->DetachMainFrame();
    }
    m_children.clear();
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this) {
        pApp->m_pMainWnd = nullptr;
    }
}

bool CMDIFrameWnd::LoadFrame(UINT nIDResource) {
    m_nIDResource = nIDResource;
    CREATESTRUCT cs;
    if (!PreCreateWindow(cs)) {
        return false;
    }
    m_strTitle = CDocTemplate::ParseDocString(CStringTable::Load(nIDResource))[0];
    if (m_strTitle.empty()) {
        m_strTitle = CStringTable::Load(AFX_IDS_APP_TITLE);
    }
    setWindowTitle(QString::fromStdString(m_strTitle));
    QIcon icon = CResources::LoadIcon(nIDResource);
    if (!icon.isNull()) {
        setWindowIcon(icon);
    }
    if (cs.x != CW_USEDEFAULT && cs.y != CW_USEDEFAULT) {
        move(cs.x, cs.y);
    }
    if (cs.cx != CW_USEDEFAULT && cs.cy != CW_USEDEFAULT) {
        resize(std::max(cs.cx, 1), std::max(cs.cy, 1));
        m_bPlacementGiven = true;
        m_placedSize = QSize(cs.cx, cs.cy);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // The system's default: three quarters of the work area, placed by the window manager.
        QRect area = screen->availableGeometry();
        resize(area.width() * 3 / 4, area.height() * 3 / 4);
    }
    if (OnCreate() == -1) {
        return false;
    }
    SetMenu(nIDResource);
    m_pIdleTimer = new QTimer(this);
    connect(m_pIdleTimer, &QTimer::timeout, this, [this] { UpdateCommandUI(); });
    m_pIdleTimer->start(kIdleMs);
    return true;
}

int CMDIFrameWnd::OnCreate() {
    m_pClient = CreateClient();
    if (m_pClient == nullptr) {
        return -1;
    }
    setCentralWidget(m_pClient);
    connect(m_pClient, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* pWindow) { OnSubWindowActivated(pWindow); });
    return 0;
}

QMdiArea* CMDIFrameWnd::CreateClient() {
    return new QMdiArea(this);
}

void CMDIFrameWnd::DestroyWindow() {
    if (m_bDestroyed) {
        return;
    }
    OnDestroy();
    m_bDestroyed = true;
    if (m_pIdleTimer != nullptr) {
        m_pIdleTimer->stop();
    }
    std::vector<CMDIChildWnd*> children = m_children;
    for (CMDIChildWnd* pChild : children) {
        pChild->DestroyWindow();
    }
    hide();
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this) {
        // The main window's end is the end of the message loop.
        QCoreApplication::quit();
    }
}

bool CMDIFrameWnd::OnClose() {
    if (m_bDestroyed) {
        return true;
    }
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr) {
        if (!pApp->SaveAllModified()) {
            return false;
        }
        pApp->CloseAllDocuments(false);
    }
    DestroyWindow();
    return true;
}

CView* CMDIFrameWnd::GetActiveView() const {
    CMDIChildWnd* pChild = MDIGetActive();
    return pChild != nullptr ? pChild->GetActiveView() : nullptr;
}

CDocument* CMDIFrameWnd::GetActiveDocument() const {
    CMDIChildWnd* pChild = MDIGetActive();
    return pChild != nullptr ? pChild->GetActiveDocument() : nullptr;
}

QRect CMDIFrameWnd::GetWindowRect() const {
    return frameGeometry();
}

void CMDIFrameWnd::ShowWindow(int nCmdShow) {
    CFrameWnd::ShowWindow(nCmdShow);
    if (m_bPlacementGiven && isVisible()) {
        // The stored size is the whole window's; take the frame the system added off again.
        m_bPlacementGiven = false;
        QSize extra = frameGeometry().size() - geometry().size();
        if (!extra.isEmpty() && (extra.width() > 0 || extra.height() > 0)) {
            resize(std::max(m_placedSize.width() - extra.width(), 1),
                   std::max(m_placedSize.height() - extra.height(), 1));
        }
    }
}

CMDIChildWnd* CMDIFrameWnd::MDIGetActive() const {
    if (m_pClient == nullptr) {
        return nullptr;
    }
    // The current window stays current while a dialog has the focus.
    auto* pChild = qobject_cast<CMDIChildWnd*>(m_pClient->currentSubWindow());
    if (pChild == nullptr || pChild->IsDestroyed() || !pChild->isVisible()) {
        return nullptr;
    }
    return pChild;
}

std::vector<CMDIChildWnd*> CMDIFrameWnd::GetChildFrames() const {
    return m_children;
}

std::vector<CMDIChildWnd*> CMDIFrameWnd::VisibleChildren() const {
    std::vector<CMDIChildWnd*> visible;
    for (CMDIChildWnd* pChild : m_children) {
        if (!pChild->IsDestroyed() && !pChild->isHidden()) {
            visible.push_back(pChild);
        }
    }
    return visible;
}

void CMDIFrameWnd::MDIActivate(CMDIChildWnd* pChild) {
    if (pChild != nullptr) {
        pChild->ActivateFrame();
    }
}

QToolBar* CMDIFrameWnd::CreateToolBar(UINT nIDResource) {
    const CResources::ToolBar* def = CResources::FindToolBar(nIDResource);
    if (def == nullptr) {
        return nullptr;
    }
    QPixmap strip = CResources::LoadBitmap(def->nBitmapID);
    if (strip.isNull()) {
        return nullptr;
    }
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar%1").arg(nIDResource));
    bar->setWindowTitle(QStringLiteral("Standard"));
    bar->setIconSize(QSize(def->cx, def->cy));
    int image = 0;
    for (UINT nID : def->items) {
        if (nID == ID_SEPARATOR) {
            bar->addSeparator();
            continue;
        }
        QPixmap button = strip.copy(image * def->cx, 0, def->cx, def->cy);
        ++image;
        QString tip = QString::fromStdString(CStringTable::ToolTip(nID));
        QAction* action = bar->addAction(QIcon(button), tip);
        action->setProperty(kCommandProperty, nID);
        action->setToolTip(tip);
        action->setStatusTip(QString::fromStdString(CStringTable::Prompt(nID)));
        connect(action, &QAction::triggered, this, [this, nID] { SendCommand(nID); });
    }
    bar->setAllowedAreas(Qt::AllToolBarAreas);
    bar->setMovable(true);
    addToolBar(Qt::TopToolBarArea, bar);
    m_pToolBar = bar;
    return bar;
}

bool CMDIFrameWnd::CreateStatusBar(const std::vector<UINT>& indicators) {
    QStatusBar* bar = statusBar();
    if (bar == nullptr) {
        return false;
    }
    bar->setSizeGripEnabled(true);
    m_pMessagePane =
        new QLabel(QString::fromStdString(CStringTable::Load(AFX_IDS_IDLEMESSAGE)), bar);
    m_pMessagePane->setMinimumWidth(1);
    bar->addWidget(m_pMessagePane, 1);
    for (UINT nID : indicators) {
        if (nID == ID_SEPARATOR) {
            continue;
        }
        QString text = QString::fromStdString(CStringTable::Load(nID));
        auto* pane = new QLabel(bar);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(text) + 12);
        bar->addPermanentWidget(pane);
        m_indicators.emplace_back(nID, pane);
    }
    UpdateCommandUI();
    return true;
}

void CMDIFrameWnd::SetMessageText(const std::string& strText) {
    if (m_pMessagePane != nullptr) {
        m_pMessagePane->setText(QString::fromStdString(strText));
    }
}

void CMDIFrameWnd::ShowConfirmation(const std::string& strText, int nMs) {
    SetMessageText(strText);
    const QString text = QString::fromStdString(strText);
    QTimer::singleShot(nMs, this, [this, text] {
        if (m_pMessagePane != nullptr && m_pMessagePane->text() == text) {
            SetMessageText(CStringTable::Load(AFX_IDS_IDLEMESSAGE));
        }
    });
}

std::string CMDIFrameWnd::GetMessageText() const {
    return m_pMessagePane != nullptr ? m_pMessagePane->text().toStdString() : std::string();
}

std::string CMDIFrameWnd::GetIndicatorText(UINT nID) const {
    for (const auto& [id, pane] : m_indicators) {
        if (id == nID) {
            return pane->text().toStdString();
        }
    }
    return {};
}

bool CMDIFrameWnd::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
    CMDIChildWnd* pChild = MDIGetActive();
    if (pChild != nullptr && pChild->OnCmdMsg(nID, pCmdUI)) {
        return true;
    }
    if (CCmdTarget::OnCmdMsg(nID, pCmdUI)) {
        return true;
    }
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID, pCmdUI);
}

CCmdUI CMDIFrameWnd::QueryCommand(UINT nID) {
    CCmdUI ui(nID);
    OnCmdMsg(nID, &ui);
    if (!ui.m_bHandled) {
        ui.m_bEnabled = false;
    }
    return ui;
}

bool CMDIFrameWnd::SendCommand(UINT nID) {
    if (nID == 0 || m_bDestroyed || !QueryCommand(nID).m_bEnabled) {
        return false;
    }
    return OnCmdMsg(nID, nullptr);
}

void CMDIFrameWnd::UpdateCommandUI() {
    if (m_bDestroyed) {
        return;
    }
    if (m_pToolBar != nullptr) {
        for (QAction* action : m_pToolBar->actions()) {
            UINT nID = CommandOf(action);
            if (nID != 0) {
                CCmdUI ui = QueryCommand(nID);
                action->setEnabled(ui.m_bEnabled);
                if (ui.m_bCheckSet) {
                    action->setCheckable(true);
                    action->setChecked(ui.m_nCheck != 0);
                }
            }
        }
    }
    if (!m_indicators.empty()) {
        CLockKeys::State state = CLockKeys::Query();
        for (const auto& [nID, pane] : m_indicators) {
            bool on = (nID == ID_INDICATOR_CAPS && state.bCaps) ||
                      (nID == ID_INDICATOR_NUM && state.bNum) ||
                      (nID == ID_INDICATOR_SCRL && state.bScroll);
            QString text = on ? QString::fromStdString(CStringTable::Load(nID)) : QString();
            if (pane->text() != text) {
                pane->setText(text);
            }
        }
    }
}

bool CMDIFrameWnd::OwnsEventTarget(QObject* pTarget) const {
    if (auto* window = qobject_cast<QWindow*>(pTarget)) {
        return window == windowHandle();
    }
    if (auto* widget = qobject_cast<QWidget*>(pTarget)) {
        return widget->window() == this;
    }
    return false;
}

bool CMDIFrameWnd::TranslateAccelerator(QObject* pTarget, QEvent* pEvent) {
    if (pEvent->type() != QEvent::KeyPress || m_bDestroyed || !OwnsEventTarget(pTarget)) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(pEvent);
    int modifiers = static_cast<int>(key->modifiers());
    std::vector<UINT> tables;
    if (CMDIChildWnd* pChild = MDIGetActive()) {
        if (pChild->GetDocTemplate() != nullptr) {
            tables.push_back(pChild->GetDocTemplate()->GetResourceID());
        }
    }
    tables.push_back(m_nIDResource);
    for (UINT nTable : tables) {
        const CResources::AccelTable* table = CResources::FindAccelerators(nTable);
        if (table == nullptr) {
            continue;
        }
        UINT nID = CResources::MatchAccelerator(*table, key->key(), modifiers);
        if (nID != 0) {
            SendCommand(nID);
            return true;
        }
    }
    return false;
}

QMenu* CMDIFrameWnd::BuildPopup(const CResources::MenuItem& item, QWidget* pParent) {
    auto* popup = new QMenu(QString::fromStdString(item.strText), pParent);
    for (const CResources::MenuItem& child : item.popup) {
        if (child.bSeparator) {
            popup->addSeparator();
        } else if (!child.popup.empty()) {
            popup->addMenu(BuildPopup(child, popup));
        } else {
            QAction* action = popup->addAction(QString::fromStdString(child.strText));
            UINT nID = child.nID;
            action->setProperty(kCommandProperty, nID);
            action->setStatusTip(QString::fromStdString(CStringTable::Prompt(nID)));
            if (nID == ID_FILE_MRU_FILE1) {
                action->setProperty(kMruPlaceholder, true);
            }
            connect(action, &QAction::triggered, this, [this, nID] { SendCommand(nID); });
        }
    }
    connect(popup, &QMenu::aboutToShow, this, [this, popup] { UpdateMenu(popup); });
    connect(popup, &QMenu::aboutToHide, this,
            [this] { SetMessageText(CStringTable::Load(AFX_IDS_IDLEMESSAGE)); });
    return popup;
}

std::vector<QMenu*>& CMDIFrameWnd::BuildMenu(UINT nIDMenu) {
    auto it = m_menus.find(nIDMenu);
    if (it != m_menus.end()) {
        return it->second;
    }
    std::vector<QMenu*>& popups = m_menus[nIDMenu];
    if (const CResources::Menu* def = CResources::FindMenu(nIDMenu)) {
        for (const CResources::MenuItem& item : *def) {
            popups.push_back(BuildPopup(item, this));
        }
    }
    return popups;
}

void CMDIFrameWnd::SetMenu(UINT nIDMenu) {
    if (CResources::FindMenu(nIDMenu) == nullptr) {
        nIDMenu = m_nIDResource;
    }
    m_nIDMenu = nIDMenu;
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* popup : BuildMenu(nIDMenu)) {
        bar->addMenu(popup);
    }
}

QMenu* CMDIFrameWnd::CreatePopupMenu(UINT nIDMenu, int nSubMenu, QWidget* pParent) {
    const CResources::Menu* def = CResources::FindMenu(nIDMenu);
    if (def == nullptr || nSubMenu < 0 || nSubMenu >= static_cast<int>(def->size())) {
        return nullptr;
    }
    QMenu* menu = BuildPopup((*def)[static_cast<std::size_t>(nSubMenu)], pParent);
    // The caller routes the chosen command itself.
    for (QAction* action : menu->actions()) {
        disconnect(action, &QAction::triggered, this, nullptr);
    }
    return menu;
}

UINT CMDIFrameWnd::TrackPopupMenu(UINT nIDMenu, int nSubMenu, const QPoint& globalPos) {
    QMenu* menu = CreatePopupMenu(nIDMenu, nSubMenu, this);
    if (menu == nullptr || CMessageService::IsEnding()) {
        delete menu;
        return 0;
    }
    QAction* chosen = menu->exec(globalPos);
    UINT nID = chosen != nullptr ? CommandOf(chosen) : 0;
    delete menu;
    if (nID != 0 && !CMessageService::IsEnding()) {
        SendCommand(nID);
    }
    return nID;
}

void CMDIFrameWnd::UpdateMenu(QMenu* pMenu) {
    FillRecentFiles(pMenu);
    if (StripMnemonic(pMenu->title().toStdString()) == "Window") {
        FillWindowList(pMenu);
    }
    for (QAction* action : pMenu->actions()) {
        UINT nID = CommandOf(action);
        if (nID == 0 || action->menu() != nullptr) {
            continue;
        }
        CCmdUI ui = QueryCommand(nID);
        action->setEnabled(ui.m_bEnabled);
        if (ui.m_bCheckSet) {
            action->setCheckable(true);
            action->setChecked(ui.m_nCheck != 0);
        }
    }
}

void CMDIFrameWnd::FillRecentFiles(QMenu* pMenu) {
    QAction* placeholder = nullptr;
    for (QAction* action : pMenu->actions()) {
        if (action->property(kMruEntry).toBool()) {
            pMenu->removeAction(action);
            action->deleteLater();
        } else if (action->property(kMruPlaceholder).toBool()) {
            placeholder = action;
        }
    }
    if (placeholder == nullptr) {
        return;
    }
    CWinApp* pApp = AfxGetApp();
    CRecentFileList* list = pApp != nullptr ? pApp->GetRecentFileList() : nullptr;
    if (list == nullptr || list->GetCount() == 0) {
        placeholder->setVisible(true);
        placeholder->setText(QString::fromStdString(CStringTable::Load(AFX_IDS_RECENT_FILE)));
        return;
    }
    placeholder->setVisible(false);
    std::string cwd = QDir::currentPath().toStdString();
    for (int i = 0; i < list->GetCount(); ++i) {
        UINT nID = ID_FILE_MRU_FILE1 + static_cast<UINT>(i);
        auto* action = new QAction(QString::fromStdString(list->GetMenuText(i, cwd)), pMenu);
        action->setProperty(kCommandProperty, nID);
        action->setProperty(kMruEntry, true);
        action->setStatusTip(QString::fromStdString(CStringTable::Prompt(ID_FILE_MRU_FILE1)));
        connect(action, &QAction::triggered, this, [this, nID] { SendCommand(nID); });
        pMenu->insertAction(placeholder, action);
    }
}

void CMDIFrameWnd::FillWindowList(QMenu* pMenu) {
    for (QAction* action : pMenu->actions()) {
        if (action->property(kWindowEntry).toBool()) {
            pMenu->removeAction(action);
            action->deleteLater();
        }
    }
    std::vector<CMDIChildWnd*> children = VisibleChildren();
    if (children.empty()) {
        return;
    }
    QAction* separator = pMenu->addSeparator();
    separator->setProperty(kWindowEntry, true);
    for (std::size_t i = 0; i < children.size() && i < AFX_MAX_WINDOW_LIST; ++i) {
        UINT nID = AFX_IDM_FIRST_MDICHILD + static_cast<UINT>(i);
        QString title = children[i]->windowTitle();
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* action = pMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(title));
        action->setProperty(kCommandProperty, nID);
        action->setProperty(kWindowEntry, true);
        connect(action, &QAction::triggered, this, [this, nID] { SendCommand(nID); });
    }
    if (children.size() > AFX_MAX_WINDOW_LIST) {
        QAction* more =
            pMenu->addAction(QString::fromStdString(CStringTable::Load(AFX_IDS_MORE_WINDOWS)));
        more->setProperty(kCommandProperty, ID_WINDOW_MORE);
        more->setProperty(kWindowEntry, true);
        connect(more, &QAction::triggered, this, [this] { SendCommand(ID_WINDOW_MORE); });
    }
}

void CMDIFrameWnd::OnSubWindowActivated(QMdiSubWindow*) {
    if (m_bDestroyed) {
        return;
    }
    UINT nIDMenu = m_nIDResource;
    if (CMDIChildWnd* pChild = MDIGetActive()) {
        if (pChild->GetDocTemplate() != nullptr &&
            CResources::FindMenu(pChild->GetDocTemplate()->GetResourceID()) != nullptr) {
            nIDMenu = pChild->GetDocTemplate()->GetResourceID();
        }
    }
    if (nIDMenu != m_nIDMenu) {
        SetMenu(nIDMenu);
    }
    OnUpdateFrameTitle();
}

void CMDIFrameWnd::OnUpdateFrameTitle() {
    if (m_strTitle.empty()) {
        return;
    }
    std::string title = m_strTitle;
    CMDIChildWnd* pChild = MDIGetActive();
    // A maximised child's title is added by the client area itself.
    if (pChild != nullptr && !pChild->isMaximized()) {
        std::string child = pChild->windowTitle().toStdString();
        if (!child.empty()) {
            title += " - " + child;
        }
    }
    if (windowTitle().toStdString() != title && (pChild == nullptr || !pChild->isMaximized())) {
        setWindowTitle(QString::fromStdString(title));
    }
}

void CMDIFrameWnd::OnChildCreated(CMDIChildWnd* pChild) {
    if (std::find(m_children.begin(), m_children.end(), pChild) == m_children.end()) {
        m_children.push_back(pChild);
    }
}

void CMDIFrameWnd::OnChildDestroyed(CMDIChildWnd* pChild) {
    m_children.erase(std::remove(m_children.begin(), m_children.end(), pChild), m_children.end());
    OnSubWindowActivated(nullptr);
}

void CMDIFrameWnd::OnWindowCascade() {
    std::vector<CMDIChildWnd*> children = ArrangedChildren();
    if (children.empty()) {
        return;
    }
    const int step = children.front()->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr,
                                                            children.front()) +
                     4;
    std::vector<QSize> minimums = MinimumSizes(children);
    Arrange(children, CMDILayout::Cascade(m_pClient->viewport()->size(), minimums, step));
}

void CMDIFrameWnd::OnWindowTileHorz() {
    Tile(true);
}

void CMDIFrameWnd::OnWindowTileVert() {
    Tile(false);
}

void CMDIFrameWnd::Tile(bool bHorizontal) {
    std::vector<CMDIChildWnd*> children = ArrangedChildren();
    if (children.empty()) {
        return;
    }
    Arrange(children,
            CMDILayout::Tile(m_pClient->viewport()->size(), MinimumSizes(children), bHorizontal));
}

std::vector<CMDIChildWnd*> CMDIFrameWnd::ArrangedChildren() const {
    std::vector<CMDIChildWnd*> children;
    if (m_pClient == nullptr) {
        return children;
    }
    // Bottom first, so that arranging keeps the windows in the order they were stacked in.
    std::vector<CMDIChildWnd*> visible = VisibleChildren();
    for (QMdiSubWindow* pWindow : m_pClient->subWindowList(QMdiArea::StackingOrder)) {
        auto* pChild = qobject_cast<CMDIChildWnd*>(pWindow);
        if (pChild != nullptr && !pChild->isMinimized() &&
            std::find(visible.begin(), visible.end(), pChild) != visible.end()) {
            children.push_back(pChild);
        }
    }
    return children;
}

std::vector<QSize> CMDIFrameWnd::MinimumSizes(const std::vector<CMDIChildWnd*>& children) {
    std::vector<QSize> minimums;
    for (CMDIChildWnd* pChild : children) {
        minimums.push_back(pChild->minimumSize().expandedTo(pChild->minimumSizeHint()));
    }
    return minimums;
}

void CMDIFrameWnd::Arrange(const std::vector<CMDIChildWnd*>& children,
                           const std::vector<QRect>& rects) {
    CMDIChildWnd* pActive = MDIGetActive();
    for (std::size_t i = 0; i < children.size() && i < rects.size(); ++i) {
        CMDIChildWnd* pChild = children[i];
        if (pChild->isMaximized()) {
            pChild->showNormal();
        }
        pChild->setGeometry(rects[i]);
        pChild->raise();
    }
    if (pActive != nullptr) {
        m_pClient->setActiveSubWindow(pActive);
    }
}

void CMDIFrameWnd::OnWindowMore() {
    std::vector<CMDIChildWnd*> children = VisibleChildren();
    if (children.empty() || CMessageService::IsEnding()) {
        return;
    }
    QStringList titles;
    for (CMDIChildWnd* pChild : children) {
        titles << pChild->windowTitle();
    }
    QInputDialog dialog(this);
    dialog.setWindowTitle(QString::fromStdString(CStringTable::Load(AFX_IDS_SELECT_WINDOW)));
    dialog.setLabelText(QString::fromStdString(CStringTable::Load(AFX_IDS_SELECT_WINDOW)));
    dialog.setComboBoxItems(titles);
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    if (CDialog::RunModal(dialog) != IDOK) {
        return;
    }
    int index = static_cast<int>(titles.indexOf(dialog.textValue()));
    if (index >= 0 && index < static_cast<int>(children.size())) {
        children[static_cast<std::size_t>(index)]->ActivateFrame();
    }
}

void CMDIFrameWnd::closeEvent(QCloseEvent* pEvent) {
    if (m_bDestroyed) {
        pEvent->accept();
        return;
    }
    // The window goes through DestroyWindow, never by the close event itself.
    pEvent->ignore();
    OnClose();
}

bool CMDIFrameWnd::event(QEvent* pEvent) {
    if (pEvent->type() == QEvent::StatusTip) {
        QString tip = static_cast<QStatusTipEvent*>(pEvent)->tip();
        SetMessageText(tip.isEmpty() ? CStringTable::Load(AFX_IDS_IDLEMESSAGE) : tip.toStdString());
        return true;
    }
    return QMainWindow::event(pEvent);
}
