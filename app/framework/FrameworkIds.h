#pragma once

#include "app/framework/WinTypes.h"

// Command, string and indicator numbers the framework itself defines.

// File commands.
constexpr UINT ID_FILE_NEW = 57600;
constexpr UINT ID_FILE_OPEN = 57601;
constexpr UINT ID_FILE_CLOSE = 57602;
constexpr UINT ID_FILE_SAVE = 57603;
constexpr UINT ID_FILE_SAVE_AS = 57604;
constexpr UINT ID_FILE_PAGE_SETUP = 57605;
constexpr UINT ID_FILE_PRINT_SETUP = 57606;
constexpr UINT ID_FILE_PRINT = 57607;
constexpr UINT ID_FILE_PRINT_DIRECT = 57608;
constexpr UINT ID_FILE_PRINT_PREVIEW = 57609;
constexpr UINT ID_FILE_MRU_FILE1 = 57616;
constexpr UINT ID_FILE_MRU_LAST = 57631; // room for sixteen entries

// Edit commands (no handler anywhere in the program).
constexpr UINT ID_EDIT_COPY = 57634;
constexpr UINT ID_EDIT_CUT = 57635;
constexpr UINT ID_EDIT_PASTE = 57637;
constexpr UINT ID_EDIT_UNDO = 57643;

// Window commands.
constexpr UINT ID_WINDOW_CASCADE = 57650;
constexpr UINT ID_WINDOW_TILE_HORZ = 57651;
constexpr UINT ID_WINDOW_TILE_VERT = 57652;

// Application and help commands.
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT ID_HELP_FINDER = 57667;
constexpr UINT ID_CONTEXT_HELP = 57669;
constexpr UINT ID_HELP = 57670;
constexpr UINT ID_NEXT_PANE = 57680;
constexpr UINT ID_PREV_PANE = 57681;

// Control bars and their toggles.
constexpr UINT ID_VIEW_TOOLBAR = 59392;
constexpr UINT ID_VIEW_STATUS_BAR = 59393;
constexpr UINT AFX_IDW_TOOLBAR = 59392;
constexpr UINT AFX_IDW_STATUS_BAR = 59393;

// Status bar indicators.
constexpr UINT ID_SEPARATOR = 0;
constexpr UINT ID_INDICATOR_CAPS = 59137;
constexpr UINT ID_INDICATOR_NUM = 59138;
constexpr UINT ID_INDICATOR_SCRL = 59139;

// The child windows listed in the Window menu.
constexpr UINT AFX_IDM_FIRST_MDICHILD = 0xFF00;
constexpr UINT AFX_MAX_WINDOW_LIST = 9;
constexpr UINT ID_WINDOW_MORE = AFX_IDM_FIRST_MDICHILD + AFX_MAX_WINDOW_LIST;

// Framework strings.
constexpr UINT AFX_IDS_APP_TITLE = 57344;
constexpr UINT AFX_IDS_IDLEMESSAGE = 57345;
constexpr UINT AFX_IDS_UNTITLED = 61443;
constexpr UINT AFX_IDS_ALLFILTER = 61446;
constexpr UINT AFX_IDS_OPENFILE = 61447;
constexpr UINT AFX_IDS_SAVEFILE = 61448;
constexpr UINT AFX_IDS_MORE_WINDOWS = 61449;
constexpr UINT AFX_IDS_RECENT_FILE = 61450;
constexpr UINT AFX_IDS_NEW_TITLE = 61451;
constexpr UINT AFX_IDS_NEW_PROMPT = 61452;
constexpr UINT AFX_IDS_SELECT_WINDOW = 61453;
constexpr UINT AFX_IDP_ASK_TO_SAVE = 61700;
constexpr UINT AFX_IDP_FAILED_TO_OPEN_DOC = 61701;
constexpr UINT AFX_IDP_FAILED_TO_SAVE_DOC = 61702;
constexpr UINT AFX_IDP_FAILED_INVALID_FORMAT = 61703;
constexpr UINT AFX_IDP_FAILED_TO_CREATE_DOC = 61704;
constexpr UINT AFX_IDP_FILE_NOT_FOUND = 61705;
constexpr UINT AFX_IDP_PRINT_FAILED = 61706;
