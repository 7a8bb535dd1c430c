#pragma once

// Hints a document passes to its views with UpdateAllViews.
constexpr long HINT_NEW_DATA = 1;        // new data arrived: full range, show a hidden window
constexpr long HINT_CLOSE = 2;           // a download failed: the window closes
constexpr long HINT_ADD_PRESS = 3;       // add the station passed with the hint, with messages
constexpr long HINT_ADD_PRESS_QUIET = 4; // the same without messages
