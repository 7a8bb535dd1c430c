#include "app/shell/ResourceScript.h"

#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "app/shell/Resource.h"

#include <QtGlobal>

#include <string>
#include <utility>
#include <vector>

namespace {

using Item = CResources::MenuItem;

void RegisterStrings() {
    const std::vector<std::pair<UINT, std::string>> strings = {
        // Application, window types and status bar.
        {AFX_IDS_APP_TITLE, "Zarn Network Controller"},
        {AFX_IDS_IDLEMESSAGE, "For Help, press F1"},
        {IDR_MAINFRAME, "Zarn Network Controller"},
        {IDR_CURVETYPE, "\nZarn Force Curve\nZarn Force Curvet\nZarn Force Curves (*.cur)\n.cur\n "
                        "Zarn Force Curve\nZarn Force Curve"},
        {IDR_BATCHTYPE, "\nZarn Batch Buffer\nZarn Batch Buffer\nZarn Batch Buffer (*.buf)\n.buf\n "
                        "MyBatchBuffer\nMyBatchBuffer Worksheet"},
        // No file and no new-document name: offered neither by Open nor by New.
        {IDR_COMPARETYPE, "\nCompare Curves\n\n\n\n\n"},
        {IDR_HISTORYTYPE, "\nHistory\n\n\n\n\n"},
        {ID_INDICATOR_CAPS, "CAP"},
        {ID_INDICATOR_NUM, "NUM"},
        {ID_INDICATOR_SCRL, "SCRL"},

        // Status-bar prompts and tool tips of the commands.
        {ID_FILE_NEW, "Create a new document\nNew"},
        {ID_FILE_OPEN, "Open an existing document\nOpen"},
        {ID_FILE_CLOSE, "Close the active document\nClose"},
        {ID_FILE_SAVE, "Save the active document\nSave"},
        {ID_FILE_SAVE_AS, "Save the active document with a new name\nSave As"},
        {ID_FILE_PRINT_SETUP, "Change the printer and printing options\nPrint Setup"},
        {ID_FILE_PRINT, "Print the active document\nPrint"},
        {ID_FILE_PRINT_DIRECT, "Print the active document using current options\nQuick Print"},
        {ID_FILE_PRINT_PREVIEW, "Display full pages\nPrint Preview"},
        {ID_FILE_MRU_FILE1, "Open this document"},
        {ID_EDIT_UNDO, "Undo the last action\nUndo"},
        {ID_EDIT_CUT, "Cut the selection and put it on the Clipboard\nCut"},
        {ID_EDIT_COPY, "Copy the selection and put it on the Clipboard\nCopy"},
        {ID_EDIT_PASTE, "Insert Clipboard contents\nPaste"},
        {ID_WINDOW_CASCADE, "Arrange windows so they overlap\nCascade Windows"},
        {ID_WINDOW_TILE_HORZ, "Arrange windows as non-overlapping tiles\nTile Windows Horizontal"},
        {ID_WINDOW_TILE_VERT, "Arrange windows as non-overlapping tiles\nTile Windows Verical"},
        {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
        {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
        {ID_HELP_FINDER, "List Help topics\nHelp Topics"},
        {ID_CONTEXT_HELP, "Display help for clicked on buttons, menus and windows\nHelp"},
        {ID_HELP, "Display help for current task or command\nHelp"},
        {ID_NEXT_PANE, "Switch to the next window pane\nNext Pane"},
        {ID_PREV_PANE, "Switch back to the previous window pane\nPrevious Pane"},
        {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
        {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
        {ID_REFRESH_DATA, "Retrieve data from Zarn and display in active window\nRefresh Data"},
        {ID_RELOAD_ALL, "Reloads data from all open curve and batch buffer windows\nReload All"},
        {ID_STATISTICS_WINDOW, "Show or hide the statistics window\nToggle Statistics"},
        {ID_SERIAL_PORT_SETTING, "Views the current communication port settings."},
        {ID_HISTORY_SETTINGS, "Chooses where the history of readings and changes is recorded\n"
                              "History Settings"},
        {ID_DOWNLOAD_CURVE, "Downloads a force curve from the selected Zarn"},
        {ID_DOWNLOAD_BATCH, "Downloads and analyses batch buffer"},
        {ID_ADD_TO_STATISTICS, "Adds Zarn to statistics window"},
        {ID_RESET_BATCH, "Resets the Zarn batch buffer"},
        {ID_NEW_REFERENCE, "Commands Zarn to perform a new reference"},
        {ID_EDIT_PROPERTIES, "Edit properties of selected Zarn"},
        {ID_ADD_NEW_PRESS, "Adds new press to the window"},
        {ID_SET_BACKGROUND, "Sets the background to be loaded on startup"},
        {ID_FIND_ANALYSERS, "Finds the analysers that answer on the line\nFind Analysers"},
        {ID_BATCH_STATISTICS, "Displays statistics for batch"},
        {ID_CONTROL_CHART, "Shows the batch as a control chart with its mean and 3 sigma "
                           "limits\nControl Chart"},
        {ID_COMPARE_CURVES, "Opens a window that overlays several force curves\nCompare Curves"},
        {ID_COMPARE_ADD_WINDOWS, "Adds the curves of the open curve windows"},
        {ID_COMPARE_ADD_FILE, "Adds curves from saved curve files"},
        {ID_COMPARE_ADD_HISTORY, "Adds curves recorded in the history"},
        {ID_COMPARE_EXPORT_PNG, "Saves the compared curves as a PNG picture"},
        {ID_COMPARE_EXPORT_PDF, "Saves the compared curves as a PDF document"},
        {ID_COMPARE_REMOVE_ALL, "Removes every curve from the comparison"},
        {ID_FILE_EXPORT, "Writes the active window's data as CSV or its picture as PNG or "
                         "PDF\nExport"},
        {ID_HISTORY_WINDOW, "Charts the recorded statistics and changes of the selected "
                            "stations\nHistory"},
        {ID_HISTORY_EXPORT_PNG, "Saves the history charts as a PNG picture"},
        {ID_HISTORY_REFRESH, "Reads the history again for the chosen time range\nRefresh"},
        {ID_VIEW_LEGEND, "Shows or hides the legend of the station badges\nStatus Legend"},
        {ID_CURVE_AXES, "Shows or hides the curve's force and stroke axes and its legend\n"
                        "Axes and Legend"},
        {ID_PREFERENCES, "Sets the sweep period, the alarm thresholds and the fewest crimps "
                         "for Cp and Cpk colours\nPreferences"},

        // Messages.
        {IDP_OLE_INIT_FAILED,
         "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
        {IDS_CURVE_DOWNLOAD_FAILED,
         "The curve download for %1 FAILED.\n\n(1) Ensure the Zarn Node ID is correct\n(2) Ensure "
         "Zarn is connected to the network\n(3) Ensure Zarn and network are powered ON."},
        {IDS_CURVE_ACCESS_PROBLEM,
         "There is an problem accessing %1.\nThe following are possible causes\n\n(1) The Zarn is "
         "faulty\n(2) The network has an intermittent fault."},
        {IDS_BATCH_DOWNLOAD_FAILED,
         "The batch buffer download for %1 FAILED.\n\n(1) Ensure the Zarn Node ID is correct\n(2) "
         "Ensure Zarn is connected to the network\n(3) Ensure Zarn and network are powered ON."},
        {IDS_NODE_IN_USE, "The node ID you selected is already in use by %1."},
        {IDS_ZARN_RESPONDED, "The Zarn responded successfully,"},
        {IDS_ZARN_NOT_RESPONDING,
         "The Zarn did NOT respond.\n\n(1) Ensure the Zarn Node ID is correct\n(2) Ensure Zarn is "
         "connected to the network\n(3) Ensure Zarn and network are powered ON."},
        {IDS_PASS_FAIL_FAILED, "Retrieving Pass/Fail count from Zarn FAILED."},
        {IDS_PEAK_FORCE_FAILED, "Retrieving Peak Force from Zarn FAILED."},
        {IDS_PARAMETER_READ_FAILED, "An error occured requesting a parameter from the Zarn"},
        {IDS_NO_BATCH_DATA, "The Zarn connected to Node %1 currently has no batch buffer data."},
        {IDS_PARAMETER_WRITE_FAILED, "An error occured downloading a parameter to the Zarn"},
        {IDS_RESET_FAILED, "An error occured resetting the Zarn batch buffer"},
        {IDS_NEW_REFERENCE_FAILED, "An error occured requesting new reference"},
        {IDS_TEACH_CYCLE_VALUES,
         "The teach cycle must be one of the following values. 5,7,11,13,15"},
        {IDS_TEACH_CYCLES_FAILED, "An error occured setting the teach cycles."},
        {IDS_NO_RESPONSE, "No Response"},
        {IDS_ON_LINE, "On-Line"},
        {IDS_PORT_OPEN_FAILED,
         "The serial port could not be opened.\nIt may be in use by another application."},
        {IDS_STATS_DOWNLOAD_FAILED,
         "The statistics download for %1 FAILED.\n\n(1) Ensure the Zarn Node ID is correct\n(2) "
         "Ensure Zarn is connected to the network\n(3) Ensure Zarn and network are powered ON."},
        {IDS_ALREADY_IN_STATISTICS, "The Zarn is already in the statistics window."},
        {IDS_CONFIRM_NEW_REFERENCE,
         "About to perform a new reference on selected Zarn's !!\nAre you sure ?"},
        {IDS_CONFIRM_RESET,
         "About to reset batch buffer on selected Zarn's\nAll batch data will be "
         "cleared from the Zarn !!!\nAre you sure ?\n"},
        {IDS_COMPARE_NOT_A_CURVE, "The file %1 could not be read as a Zarn force curve."},
        {IDS_COMPARE_EXPORT_FAILED, "The picture could not be written to %1."},
        {IDS_COMPARE_NO_WINDOWS, "There is no curve window with a curve to add."},
        {IDS_COMPARE_FULL, "A comparison holds at most 16 curves. Remove some curves or open "
                           "another Compare Curves window."},
        {IDS_HISTORY_UNUSABLE, "The history is not recorded: %1.\n\nThe program runs on without "
                               "recording a history, and leaves the file as it is."},
        {IDS_HISTORY_HOLDING,
         "The history cannot be written: %1.\n\nRecords are held in memory until the file takes "
         "them again; when too many wait, further records are lost and counted in the status "
         "bar."},
        {IDS_HISTORY_NO_FILE, "Enter the SQLite file to record the history in."},
        {IDS_HISTORY_BAD_URL, "Enter the plant database as postgresql://user@host:port/database."},
        {IDS_EXPORT_FAILED, "The export to %1 could not be written."},
        {IDS_HISTORY_UNREADABLE, "No history: %1"},
        {IDS_HISTORY_EMPTY, "Nothing was recorded for these stations in this time range."},
        {IDS_HISTORY_LOADING, "Reading the history..."},
        {IDS_HISTORY_NO_CURVES, "No curves were recorded in the last 30 days."},
    };
    for (const auto& [id, text] : strings) {
        CStringTable::Register(id, text);
    }
}

// The popups that several menu bars share.
Item ViewPopup() {
    return Item::Popup("&View",
                       {
                           Item::Command(ID_VIEW_TOOLBAR, "&Toolbar"),
                           Item::Command(ID_VIEW_STATUS_BAR, "&Status Bar"),
                           Item::Command(ID_STATISTICS_WINDOW, "S&tatistics Window"),
                           Item::Separator(),
                           Item::Command(ID_SERIAL_PORT_SETTING, "Serial &Port Setting..."),
                           Item::Command(ID_HISTORY_SETTINGS, "&History Settings..."),
                           Item::Command(ID_PREFERENCES, "P&references..."),
                       });
}

Item ManualItem() {
    return Item::Command(ID_HELP, "&Operator's Manual\tF1");
}

Item HelpPopup() {
    return Item::Popup("&Help",
                       {
                           ManualItem(),
                           Item::Separator(),
                           Item::Command(ID_APP_ABOUT, "&About Zarnex Network Controller..."),
                       });
}

Item CompareItem() {
    return Item::Command(ID_COMPARE_CURVES, "Co&mpare Curves...");
}

Item DataFilePopup() {
    return Item::Popup("&File", {
                                    Item::Command(ID_FILE_OPEN, "&Open...\tCtrl+O"),
                                    Item::Command(ID_FILE_CLOSE, "&Close"),
                                    Item::Command(ID_FILE_SAVE, "&Save\tCtrl+S"),
                                    Item::Command(ID_FILE_SAVE_AS, "Save &As..."),
                                    Item::Command(ID_FILE_EXPORT, "&Export..."),
                                    Item::Separator(),
                                    Item::Command(ID_FILE_PRINT, "&Print...\tCtrl+P"),
                                    Item::Command(ID_FILE_PRINT_PREVIEW, "Print Pre&view"),
                                    Item::Command(ID_FILE_PRINT_SETUP, "P&rint Setup..."),
                                    Item::Separator(),
                                    Item::Command(ID_FILE_MRU_FILE1, "Recent File"),
                                    Item::Separator(),
                                    Item::Command(ID_APP_EXIT, "E&xit"),
                                });
}

std::vector<Item> ArrangeItems() {
    return {
        Item::Command(ID_WINDOW_CASCADE, "&Cascade"),
        Item::Command(ID_WINDOW_TILE_HORZ, "&Tile Horizontal"),
        Item::Command(ID_WINDOW_TILE_VERT, "Tile &Vertical"),
    };
}

Item DataWindowPopup(const std::string& strReload, bool bCompare) {
    std::vector<Item> items = {
        Item::Command(ID_REFRESH_DATA, strReload),
        Item::Command(ID_RELOAD_ALL, "Reload &All Data Windows"),
        Item::Separator(),
    };
    for (Item& i : ArrangeItems()) {
        items.push_back(i);
    }
    if (bCompare) {
        items.push_back(Item::Separator());
        items.push_back(CompareItem());
    }
    return Item::Popup("&Window", items);
}

void RegisterMenus() {
    CResources::AddMenu(
        IDR_MAINFRAME,
        {
            Item::Popup("&File",
                        {
                            Item::Command(ID_FILE_OPEN, "&Open...\tCtrl+O"),
                            Item::Command(ID_FILE_SAVE, "&Save\tCtrl+S"),
                            Item::Command(ID_FILE_SAVE_AS, "Save &As..."),
                            Item::Separator(),
                            Item::Command(ID_FILE_PRINT, "&Print...\tCtrl+P"),
                            Item::Command(ID_FILE_PRINT_PREVIEW, "Print Pre&view"),
                            Item::Command(ID_FILE_PRINT_SETUP, "P&rint Setup..."),
                            Item::Separator(),
                            Item::Command(ID_FILE_MRU_FILE1, "Recent File"),
                            Item::Separator(),
                            Item::Command(ID_APP_EXIT, "E&xit"),
                        }),
            Item::Popup("&Edit",
                        {
                            Item::Command(ID_EDIT_UNDO, "&Undo\tCtrl+Z"),
                            Item::Separator(),
                            Item::Command(ID_EDIT_CUT, "Cu&t\tCtrl+X"),
                            Item::Command(ID_EDIT_COPY, "&Copy\tCtrl+C"),
                            Item::Command(ID_EDIT_PASTE, "&Paste\tCtrl+V"),
                        }),
            Item::Popup("&View",
                        {
                            Item::Command(ID_VIEW_TOOLBAR, "&Toolbar"),
                            Item::Command(ID_VIEW_STATUS_BAR, "&Status Bar"),
                            Item::Command(ID_STATISTICS_WINDOW, "S&tatistics Window"),
                        }),
            Item::Popup("&Help",
                        {
                            ManualItem(),
                            Item::Command(ID_HELP_FINDER, "&Help Topics"),
                            Item::Separator(),
                            Item::Command(ID_APP_ABOUT, "&About Zarnex Network Controller..."),
                        }),
        });

    std::vector<Item> arrange = ArrangeItems();
    std::vector<Item> networkWindow = {Item::Command(ID_RELOAD_ALL, "Reload &All Data Windows"),
                                       Item::Separator()};
    networkWindow.insert(networkWindow.end(), arrange.begin(), arrange.end());
    networkWindow.push_back(Item::Separator());
    networkWindow.push_back(CompareItem());
    // The layout's View menu also switches the badges' legend on and off.
    Item networkView = ViewPopup();
    networkView.popup.push_back(Item::Separator());
    networkView.popup.push_back(Item::Command(ID_VIEW_LEGEND, "Status &Legend"));
    CResources::AddMenu(IDR_NETWORKTYPE,
                        {
                            Item::Popup("&File",
                                        {
                                            Item::Command(ID_FILE_OPEN, "&Open...\tCtrl+O"),
                                            Item::Separator(),
                                            Item::Command(ID_APP_EXIT, "E&xit"),
                                        }),
                            networkView,
                            Item::Popup("&Window", networkWindow),
                            HelpPopup(),
                        });

    // The curve window's View menu also switches its axes and legend on and off.
    Item curveView = ViewPopup();
    curveView.popup.push_back(Item::Separator());
    curveView.popup.push_back(Item::Command(ID_CURVE_AXES, "&Axes and Legend"));
    CResources::AddMenu(
        IDR_CURVETYPE,
        {DataFilePopup(), curveView, DataWindowPopup("&Reload Curve Data\tF5", true), HelpPopup()});
    // The batch window's View menu also switches its control chart on and off.
    Item batchView = ViewPopup();
    batchView.popup.push_back(Item::Separator());
    batchView.popup.push_back(Item::Command(ID_CONTROL_CHART, "&Control Chart"));
    CResources::AddMenu(IDR_BATCHTYPE,
                        {DataFilePopup(), batchView,
                         DataWindowPopup("&Reload Batch Data\tF5", false), HelpPopup()});

    // The compare window: its curves come and go through its File menu.
    std::vector<Item> compareWindow = {Item::Command(ID_RELOAD_ALL, "Reload &All Data Windows"),
                                       Item::Separator()};
    compareWindow.insert(compareWindow.end(), arrange.begin(), arrange.end());
    compareWindow.push_back(Item::Separator());
    compareWindow.push_back(CompareItem());
    CResources::AddMenu(
        IDR_COMPARETYPE,
        {Item::Popup("&File",
                     {
                         Item::Command(ID_FILE_OPEN, "&Open...\tCtrl+O"),
                         Item::Command(ID_FILE_CLOSE, "&Close"),
                         Item::Separator(),
                         Item::Command(ID_COMPARE_ADD_WINDOWS, "Add Open Curve &Windows"),
                         Item::Command(ID_COMPARE_ADD_FILE, "Add Curve &File..."),
                         Item::Command(ID_COMPARE_ADD_HISTORY, "Add From &History..."),
                         Item::Command(ID_COMPARE_REMOVE_ALL, "R&emove All Curves"),
                         Item::Separator(),
                         Item::Command(ID_COMPARE_EXPORT_PNG, "Export as P&NG..."),
                         Item::Command(ID_COMPARE_EXPORT_PDF, "Export as P&DF..."),
                         Item::Separator(),
                         Item::Command(ID_FILE_PRINT, "&Print...\tCtrl+P"),
                         Item::Command(ID_FILE_PRINT_PREVIEW, "Print Pre&view"),
                         Item::Command(ID_FILE_PRINT_SETUP, "P&rint Setup..."),
                         Item::Separator(),
                         Item::Command(ID_APP_EXIT, "E&xit"),
                     }),
         ViewPopup(), Item::Popup("&Window", compareWindow), HelpPopup()});

    std::vector<Item> statsWindow = {Item::Command(ID_HISTORY_WINDOW, "&History..."),
                                     Item::Separator()};
    statsWindow.insert(statsWindow.end(), arrange.begin(), arrange.end());
    CResources::AddMenu(IDR_STATSTYPE, {DataFilePopup(), ViewPopup(),
                                        Item::Popup("&Window", statsWindow), HelpPopup()});

    // The history window: its range and stations are chosen in the window itself.
    CResources::AddMenu(IDR_HISTORYTYPE,
                        {Item::Popup("&File",
                                     {
                                         Item::Command(ID_FILE_CLOSE, "&Close"),
                                         Item::Separator(),
                                         Item::Command(ID_HISTORY_REFRESH, "&Refresh\tF5"),
                                         Item::Command(ID_HISTORY_EXPORT_PNG, "Export as P&NG..."),
                                         Item::Separator(),
                                         Item::Command(ID_APP_EXIT, "E&xit"),
                                     }),
                         ViewPopup(), Item::Popup("&Window", arrange), HelpPopup()});

    // The views' context menus: each holds one popup.
    CResources::AddMenu(
        IDR_STATION_MENU,
        {Item::Popup("Station", {
                                    Item::Command(ID_DOWNLOAD_CURVE, "Download &Force Curve..."),
                                    Item::Separator(),
                                    Item::Command(ID_DOWNLOAD_BATCH, "Download &Batch Buffer..."),
                                    Item::Command(ID_RESET_BATCH, "&Reset Batch Buffer"),
                                    Item::Separator(),
                                    Item::Command(ID_ADD_TO_STATISTICS, "&Add To Statistic Window"),
                                    Item::Command(ID_HISTORY_WINDOW, "&History..."),
                                    Item::Separator(),
                                    Item::Command(ID_EDIT_PROPERTIES, "&Edit Properties..."),
                                    Item::Command(ID_DELETE_PRESS, "&Delete Press"),
                                })});
    CResources::AddMenu(
        IDR_GROUP_MENU,
        {Item::Popup("Group", {
                                  Item::Command(ID_DOWNLOAD_CURVE, "Download &Force Curves..."),
                                  Item::Separator(),
                                  Item::Command(ID_DOWNLOAD_BATCH, "Download &Batch Buffers..."),
                                  Item::Command(ID_RESET_BATCH, "&Reset Batch Buffers"),
                                  Item::Separator(),
                                  Item::Command(ID_ADD_TO_STATISTICS, "&Add To Statistics Window"),
                                  Item::Command(ID_HISTORY_WINDOW, "&History..."),
                                  Item::Separator(),
                                  Item::Command(ID_EDIT_PROPERTIES, "&Edit Properties..."),
                              })});
    CResources::AddMenu(
        IDR_BACKGROUND_MENU,
        {Item::Popup("Background", {
                                       Item::Command(ID_SET_BACKGROUND, "&Set Background..."),
                                       Item::Separator(),
                                       Item::Command(ID_ADD_NEW_PRESS, "&Add New Press..."),
                                       Item::Command(ID_FIND_ANALYSERS, "&Find Analysers..."),
                                   })});
    CResources::AddMenu(
        IDR_CURVE_MENU,
        {Item::Popup("Curve", {
                                  Item::Command(ID_REFRESH_DATA, "&Reload Data\tF5"),
                                  Item::Command(ID_CURVE_ZOOM_OUT, "&Zoom Out\tEsc"),
                              })});
    CResources::AddMenu(
        IDR_COMPARE_MENU,
        {Item::Popup("Compare",
                     {
                         Item::Command(ID_COMPARE_ADD_WINDOWS, "Add Open Curve &Windows"),
                         Item::Command(ID_COMPARE_ADD_FILE, "Add Curve &File..."),
                         Item::Command(ID_COMPARE_ADD_HISTORY, "Add From &History..."),
                         Item::Command(ID_COMPARE_REMOVE_ALL, "R&emove All Curves"),
                         Item::Separator(),
                         Item::Command(ID_COMPARE_EXPORT_PNG, "Export as P&NG..."),
                         Item::Command(ID_COMPARE_EXPORT_PDF, "Export as P&DF..."),
                     })});
    CResources::AddMenu(
        IDR_BATCH_MENU,
        {Item::Popup("Batch", {
                                  Item::Command(ID_REFRESH_DATA, "&Reload Data\tF5"),
                                  Item::Separator(),
                                  Item::Command(ID_BATCH_ZOOM_OUT, "&Zoom Out\tEsc"),
                              })});
}

void RegisterAccelerators() {
    const int ctrl = Qt::ControlModifier;
    const int shift = Qt::ShiftModifier;
    const int alt = Qt::AltModifier;
    CResources::AddAccelerators(IDR_MAINFRAME, {
                                                   {Qt::Key_N, ctrl, ID_FILE_NEW},
                                                   {Qt::Key_O, ctrl, ID_FILE_OPEN},
                                                   {Qt::Key_S, ctrl, ID_FILE_SAVE},
                                                   {Qt::Key_P, ctrl, ID_FILE_PRINT},
                                                   {Qt::Key_Z, ctrl, ID_EDIT_UNDO},
                                                   {Qt::Key_X, ctrl, ID_EDIT_CUT},
                                                   {Qt::Key_C, ctrl, ID_EDIT_COPY},
                                                   {Qt::Key_V, ctrl, ID_EDIT_PASTE},
                                                   {Qt::Key_Backspace, alt, ID_EDIT_UNDO},
                                                   {Qt::Key_Delete, shift, ID_EDIT_CUT},
                                                   {Qt::Key_Insert, ctrl, ID_EDIT_COPY},
                                                   {Qt::Key_Insert, shift, ID_EDIT_PASTE},
                                                   {Qt::Key_F6, 0, ID_NEXT_PANE},
                                                   {Qt::Key_F6, shift, ID_PREV_PANE},
                                                   {Qt::Key_F1, shift, ID_CONTEXT_HELP},
                                                   {Qt::Key_F1, 0, ID_HELP},
                                                   {Qt::Key_Escape, shift, ID_CANCEL_LINE},
                                               });
    CResources::AddAccelerators(IDR_CURVETYPE, {
                                                   {Qt::Key_Escape, 0, ID_CURVE_ZOOM_OUT},
                                                   {Qt::Key_F5, 0, ID_REFRESH_DATA},
                                               });
    CResources::AddAccelerators(IDR_HISTORYTYPE, {{Qt::Key_F5, 0, ID_HISTORY_REFRESH}});
    CResources::AddAccelerators(IDR_BATCHTYPE, {
                                                   {Qt::Key_Escape, 0, ID_BATCH_ZOOM_OUT},
                                                   {Qt::Key_F5, 0, ID_REFRESH_DATA},
                                               });
}

void RegisterToolBar() {
    CResources::AddToolBar(IDR_MAINFRAME, {IDB_TOOLBAR,
                                           17,
                                           16,
                                           {
                                               ID_FILE_OPEN,
                                               ID_FILE_SAVE,
                                               ID_SEPARATOR,
                                               ID_FILE_PRINT,
                                               ID_FILE_PRINT_PREVIEW,
                                               ID_SEPARATOR,
                                               ID_REFRESH_DATA,
                                               ID_RELOAD_ALL,
                                               ID_WINDOW_CASCADE,
                                               ID_WINDOW_TILE_HORZ,
                                               ID_WINDOW_TILE_VERT,
                                               ID_SEPARATOR,
                                               ID_APP_ABOUT,
                                               ID_CONTEXT_HELP,
                                           }});
}

void RegisterPictures() {
    CResources::AddBitmap(IDB_SPLASH, ":/res/splash102.png");
    CResources::AddBitmap(IDB_TOOLBAR, ":/res/toolbar128.png");
    CResources::AddBitmap(IDB_ABOUT_BANNER, ":/res/about133.png");
    CResources::AddBitmap(IDB_ABOUT_PICTURE, ":/res/about146.png");
    CResources::AddBitmap(IDB_STATS_IMAGES, ":/res/stats158.png");
    CResources::AddBitmap(IDB_LOGO, ":/res/logo163.png");
    for (UINT id : {IDR_MAINFRAME, IDR_NETWORKTYPE, IDR_CURVETYPE, IDR_BATCHTYPE, IDR_STATSTYPE,
                    IDR_COMPARETYPE, IDR_HISTORYTYPE, IDI_SERIAL_PORT, IDI_STATION,
                    IDI_STATION_SELECTED, IDI_ONLINE, IDI_NO_RESPONSE}) {
        std::string base = ":/res/icon" + std::to_string(id);
        CResources::AddIcon(id, {base + ".png", base + "-16.png"});
    }
    CResources::AddCursor(IDC_ZOOM, ":/res/cursor147.png", QPoint(8, 9));
    CResources::AddCursor(IDC_MOVE, ":/res/cursor160.png", QPoint(15, 15));
}

} // namespace

void RegisterProgramResources() {
    Q_INIT_RESOURCE(shell);
    Q_INIT_RESOURCE(help);
    RegisterStrings();
    RegisterMenus();
    RegisterAccelerators();
    RegisterToolBar();
    RegisterPictures();
}
