#pragma once

#include "app/framework/FrameworkIds.h"

// The program's resource numbers: windows and document types, dialogs and their controls,
// pictures, icons and cursors, menus, commands and strings.

// Document types and the main window; each names a menu, an icon and (some) accelerators.
constexpr UINT IDR_MAINFRAME = 128;
constexpr UINT IDR_NETWORKTYPE = 129;
constexpr UINT IDR_CURVETYPE = 139;
constexpr UINT IDR_BATCHTYPE = 141;
constexpr UINT IDR_STATSTYPE = 144;
// The compare window, which overlays several force curves.
constexpr UINT IDR_COMPARETYPE = 171;
// The history window, which charts the recorded statistics of stations over time.
constexpr UINT IDR_HISTORYTYPE = 173;

// Dialogs and controls.
constexpr UINT IDD_ABOUTBOX = 100;
constexpr UINT IDD_PRESS_PROPERTIES = 132;
constexpr UINT IDD_BATCH_STATISTICS = 154;
constexpr UINT IDD_SERIAL_PORT = 156;
constexpr UINT IDD_HISTORY_SETTINGS = 180;
// Picks curves recorded in the history for a compare window.
constexpr UINT IDD_HISTORY_CURVES = 185;
constexpr UINT IDC_PORT_COMBO = 1032;

// Bitmaps.
constexpr UINT IDB_SPLASH = 102;
constexpr UINT IDB_TOOLBAR = 128;
constexpr UINT IDB_ABOUT_BANNER = 133;
constexpr UINT IDB_ABOUT_PICTURE = 146;
constexpr UINT IDB_STATS_IMAGES = 158;
constexpr UINT IDB_LOGO = 163;

// Icons (128, 129, 139, 141, 144 are those of the window types above).
constexpr UINT IDI_STATION = 131;
constexpr UINT IDI_STATION_SELECTED = 151;
constexpr UINT IDI_ONLINE = 152;
constexpr UINT IDI_NO_RESPONSE = 153;
constexpr UINT IDI_SERIAL_PORT = 157;

// Cursors.
constexpr UINT IDC_ZOOM = 147;
constexpr UINT IDC_MOVE = 160;

// Context menus of the views.
constexpr UINT IDR_STATION_MENU = 136;
constexpr UINT IDR_CURVE_MENU = 138;
constexpr UINT IDR_BATCH_MENU = 143;
constexpr UINT IDR_GROUP_MENU = 145;
constexpr UINT IDR_BACKGROUND_MENU = 146;
constexpr UINT IDR_COMPARE_MENU = 172;

// Commands.
constexpr UINT ID_EDIT_PROPERTIES = 32773;
constexpr UINT ID_DOWNLOAD_CURVE = 32775;
constexpr UINT ID_DOWNLOAD_BATCH = 32776;
constexpr UINT ID_REFRESH_DATA = 32777;
constexpr UINT ID_CURVE_ZOOM_OUT = 32779;
constexpr UINT ID_BATCH_ZOOM_OUT = 32780;
constexpr UINT ID_RELOAD_ALL = 32782;
constexpr UINT ID_RESET_BATCH = 32784;
constexpr UINT ID_BATCH_STATISTICS = 32785;
constexpr UINT ID_SERIAL_PORT_SETTING = 32787;
constexpr UINT ID_ADD_TO_STATISTICS = 32791;
constexpr UINT ID_NEW_REFERENCE = 32793;
constexpr UINT ID_STATISTICS_WINDOW = 32794;
constexpr UINT ID_SET_BACKGROUND = 32795;
constexpr UINT ID_ADD_NEW_PRESS = 32796;
constexpr UINT ID_DELETE_PRESS = 32798;
// Stops the running line operation (status-bar button and Shift+Esc).
constexpr UINT ID_CANCEL_LINE = 32820;
// Sweeps a range of node IDs for answering analysers.
constexpr UINT ID_FIND_ANALYSERS = 32821;
// Where the history is recorded, and for how long.
constexpr UINT ID_HISTORY_SETTINGS = 32830;
// The batch window's control-chart view (a toggle).
constexpr UINT ID_CONTROL_CHART = 32851;
// Opens a compare window; the compare window's own commands.
constexpr UINT ID_COMPARE_CURVES = 32852;
constexpr UINT ID_COMPARE_ADD_WINDOWS = 32853;
constexpr UINT ID_COMPARE_ADD_FILE = 32854;
constexpr UINT ID_COMPARE_ADD_HISTORY = 32855;
constexpr UINT ID_COMPARE_EXPORT_PNG = 32856;
constexpr UINT ID_COMPARE_EXPORT_PDF = 32857;
constexpr UINT ID_COMPARE_REMOVE_ALL = 32858;
// Export... in the File menu of the curve, batch and statistics windows.
constexpr UINT ID_FILE_EXPORT = 32860;
// Opens a history window for the selected stations; the history window's own commands.
constexpr UINT ID_HISTORY_WINDOW = 32861;
constexpr UINT ID_HISTORY_EXPORT_PNG = 32862;
constexpr UINT ID_HISTORY_REFRESH = 32863;
// The layout's legend of the badges, on and off.
constexpr UINT ID_VIEW_LEGEND = 32870;
// The curve window's axes and legend, on and off.
constexpr UINT ID_CURVE_AXES = 32871;
// The Preferences dialog.
constexpr UINT ID_PREFERENCES = 32872;

// Message and status strings.
constexpr UINT IDP_OLE_INIT_FAILED = 100;
constexpr UINT IDS_CURVE_DOWNLOAD_FAILED = 1000;
constexpr UINT IDS_CURVE_ACCESS_PROBLEM = 1001;
constexpr UINT IDS_BATCH_DOWNLOAD_FAILED = 1002;
constexpr UINT IDS_NODE_IN_USE = 1003;
constexpr UINT IDS_ZARN_RESPONDED = 1004;
constexpr UINT IDS_ZARN_NOT_RESPONDING = 1005;
constexpr UINT IDS_PASS_FAIL_FAILED = 1006;
constexpr UINT IDS_PEAK_FORCE_FAILED = 1007;
constexpr UINT IDS_PARAMETER_READ_FAILED = 1008;
constexpr UINT IDS_NO_BATCH_DATA = 1009;
constexpr UINT IDS_PARAMETER_WRITE_FAILED = 1010;
constexpr UINT IDS_RESET_FAILED = 1011;
constexpr UINT IDS_NEW_REFERENCE_FAILED = 1013;
constexpr UINT IDS_TEACH_CYCLE_VALUES = 1014;
constexpr UINT IDS_TEACH_CYCLES_FAILED = 1015;
constexpr UINT IDS_NO_RESPONSE = 1016;
constexpr UINT IDS_ON_LINE = 1017;
constexpr UINT IDS_PORT_OPEN_FAILED = 1018;
constexpr UINT IDS_STATS_DOWNLOAD_FAILED = 1021;
constexpr UINT IDS_ALREADY_IN_STATISTICS = 1022;
constexpr UINT IDS_CONFIRM_NEW_REFERENCE = 1023;
constexpr UINT IDS_CONFIRM_RESET = 1024;
// Messages of the compare window.
constexpr UINT IDS_COMPARE_NOT_A_CURVE = 1080;
constexpr UINT IDS_COMPARE_EXPORT_FAILED = 1081;
constexpr UINT IDS_COMPARE_NO_WINDOWS = 1082;
constexpr UINT IDS_COMPARE_FULL = 1083;
// Messages of the history recording and its settings.
constexpr UINT IDS_HISTORY_UNUSABLE = 1090;
constexpr UINT IDS_HISTORY_HOLDING = 1091;
constexpr UINT IDS_HISTORY_NO_FILE = 1092;
constexpr UINT IDS_HISTORY_BAD_URL = 1093;
// Exports and the history window.
constexpr UINT IDS_EXPORT_FAILED = 1100;
constexpr UINT IDS_HISTORY_UNREADABLE = 1101;
constexpr UINT IDS_HISTORY_EMPTY = 1102;
constexpr UINT IDS_HISTORY_LOADING = 1103;
constexpr UINT IDS_HISTORY_NO_CURVES = 1104;
