#pragma once
// The numbered messages that threads and windows post to one another.

enum AppMessage : unsigned {
    // Preview panel and position bar (first application message + n).
    WM_POSITION_BAR_CLICK = 32770,
    WM_MARK_CHANGED = 32771,
    // Bitmap button bar: a button was pressed (wParam its index).
    WM_BUTTON_BAR = 8225,
    // Tips panel: show the next tip.
    WM_NEXT_TIP = 9224,

    // Among the windows of the user interface (user message base 1024 + n).
    WM_TOGGLE_SITE_PANEL = 5024,
    WM_TOOLBAR_BUTTON = 5025,
    WM_DEFERRED_START = 5026,
    WM_SHOW_TASK_LIST = 5027,
    WM_SHOW_HISTORY_LIST = 5028,
    WM_PREVIEW_EXPANDED = 5029,
    WM_HISTORY_CHANGED = 5030,
    WM_LANGUAGE_CHANGED = 5031,

    // The version check.
    MsgNewVersion = 2038,
    MsgNoNewVersion = 2039,
    MsgCheckFailed = 2040,
};
