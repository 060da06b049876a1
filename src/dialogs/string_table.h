#pragma once

#include <QString>

/// Numbers of the program's user-visible strings (the resource string table of the program).
enum EKestStringId : int {
    IDS_OLE_INIT_FAILED = 100,
    IDS_ERR_VDIV = 129,
    IDS_CONFIRM_CHANNELS = 130,
    IDS_ERR_POS = 131,
    IDS_ERR_RANGE = 132,
    IDS_LOGFILE_TITLE = 133,
    IDS_ERR_LOGFILE_OPEN = 134,
    IDS_ERR_COMM_OPEN = 135,
    IDS_SAVE_SETTING_TITLE = 136,
    IDS_ERR_SAVE_SETTING_OPEN = 137,
    IDS_LOAD_SETTING_TITLE = 138,
    IDS_ERR_LOAD_SETTING_OPEN = 139,
    IDS_CSV_OPEN_TITLE = 140,
    IDS_ERR_CSV_OPEN = 141,
    IDS_METAFILE_TITLE = 142,
    IDS_ERR_METAFILE = 143,
    IDS_PARITY_NONE = 144,
    IDS_PARITY_EVEN = 145,
    IDS_PARITY_ODD = 146,
    IDS_STOPBITS_1 = 147,
    IDS_STOPBITS_15 = 148,
    IDS_STOPBITS_2 = 149,
    IDS_ERR_MULTIPLIER = 150,
    IDS_CONFIRM_LOAD_SETTING = 151,

    // Menu prompts share the number of their command: status-bar text, then "\n" and tooltip.
    IDS_PROMPT_FILE_LOGGING = 32772,
    IDS_PROMPT_SET_CHANNELS = 32775,
    IDS_PROMPT_SET_INPUTDATA = 32776,
    IDS_PROMPT_SET_HORIZ = 32778,
    IDS_PROMPT_VIEW_HOLD = 32780,
    IDS_PROMPT_SAVE_SETTING = 32782,
    IDS_PROMPT_LOAD_SETTING = 32785,
    IDS_PROMPT_VIEW_CURSOR = 32787,
    IDS_PROMPT_FILE_METAFILE = 32789,
    IDS_PROMPT_SET_COMM = 32791,

    IDS_APP_TITLE = 57344,
    IDS_IDLE_MESSAGE = 57345,
    IDS_PROMPT_FILE_OPEN = 57601,
    IDS_PROMPT_FILE_PRINT_SETUP = 57606,
    IDS_PROMPT_FILE_PRINT = 57607,
    IDS_PROMPT_FILE_PRINT_PREVIEW = 57609,
    IDS_PROMPT_APP_ABOUT = 57664,
    IDS_PROMPT_APP_EXIT = 57665,
    IDS_INDICATOR_CAPS = 59137,
    IDS_INDICATOR_NUM = 59138,
    IDS_INDICATOR_SCRL = 59139,
    IDS_PROMPT_VIEW_TOOLBAR = 59392,
    IDS_PROMPT_VIEW_STATUS_BAR = 59393,
    IDS_ERR_CREATE_DOC = 61700,
    IDS_ERR_HELP = 61703,

    // Messages this program adds to the standard table, numbered above its whole range so that
    // they can never collide with a number of the table.
    IDS_ERR_NO_PRINTER_SETUP = 62001,
    IDS_ERR_NO_PRINTER = 62002,
    IDS_ERR_PRINT_START = 62003,
    IDS_ERR_LOG_WRITE = 62004,
    IDS_ERR_MEMORY_FULL = 62005,
    IDS_ERR_CSV_READ = 62006,
    // Why a COM port did not open, shown after message 135.
    IDS_CAUSE_PORT_NOT_MAPPED = 62101,
    IDS_CAUSE_PORT_MISSING = 62102,
    IDS_CAUSE_PORT_PERMISSION = 62103,
    IDS_CAUSE_PORT_BUSY = 62104,
    IDS_CAUSE_PORT_BUSY_UNKNOWN = 62105,
    IDS_CAUSE_PORT_OTHER = 62106,
    // Status bar notices while logging or following a file; %1 is the time.
    IDS_STATUS_PORT_VANISHED = 62111,
    IDS_STATUS_PORT_REOPENED = 62112,
    IDS_STATUS_PORT_OTHER = 62113,
    IDS_STATUS_FOLLOW_RESTARTED = 62121,
    IDS_ERR_FOLLOW_VANISHED = 62122,
    // The statistics window.
    IDS_STATS_TITLE = 62131,
    IDS_STATS_HEADERS = 62132,
    IDS_STATS_RANGE_CURSORS = 62133,
    IDS_STATS_RANGE_WINDOW = 62134,
    IDS_STATS_COPY = 62135,
    IDS_STATS_CLOSE = 62136,
    // Prompts of the commands this program adds (numbered as the commands).
    IDS_PROMPT_VIEW_STATS = 62141,
    IDS_PROMPT_VIEW_FOLLOW = 62142,
};

/// Text of string nId; an empty string for a number the table does not hold.
QString LoadKestString(int nId);

/// Whether the table holds string nId.
bool HasKestString(int nId);
