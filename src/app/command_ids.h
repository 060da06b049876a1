#pragma once

/// Command identifiers of the menu, toolbar and accelerators, and the string numbers the shell
/// shows. The numbers are fixed: files, profiles and the manual refer to them, so they never
/// change.
enum ECommandId {
    ID_FILE_OPEN = 57601,
    ID_FILE_LOGGING = 32772,
    ID_FILE_METAFILE = 32789,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_PRINT_SETUP = 57606,
    ID_APP_EXIT = 57665,
    ID_SET_CHANNELS = 32775,
    ID_SET_INPUTDATA = 32776,
    ID_SET_HORIZ = 32778,
    ID_SET_COMM = 32791,
    ID_SAVE_SETTING = 32782,
    ID_LOAD_SETTING = 32785,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_VIEW_HOLD = 32780,
    ID_VIEW_CURSOR = 32787,
    ID_HELP_FINDER = 57667,
    ID_APP_ABOUT = 57664,
    // Commands this program adds, numbered with their prompts above the standard range.
    ID_VIEW_STATS = 62141,
    ID_VIEW_FOLLOW = 62142,
    ID_SET_PUBLISH = 62143,
};

/// The view flags the enablement rules read.
struct SCommandFlags {
    bool m_bLogging = false;
    bool m_bHold = false;
    bool m_bCursor = true;
    bool m_bToolBarVisible = true;
    bool m_bStatusBarVisible = true;
    bool m_bViewingCsv = false; ///< a CSV file is being viewed (read whole)
    bool m_bFollowing = false;  ///< the viewed file is being followed as it grows
};

/// Whether command nId may run in the state f (the same rule for menu, toolbar and accelerator).
bool IsCommandEnabled(int nId, const SCommandFlags& f);
/// Whether command nId shows a check mark (menu) or a pressed button (toolbar) in the state f.
bool IsCommandChecked(int nId, const SCommandFlags& f);
