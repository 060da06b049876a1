#include "app/command_ids.h"

bool IsCommandEnabled(int nId, const SCommandFlags& f) {
    switch (nId) {
    case ID_FILE_OPEN:
    case ID_SET_CHANNELS:
    case ID_SET_COMM:
    case ID_SET_PUBLISH:
    case ID_LOAD_SETTING:
        return !f.m_bLogging;
    case ID_VIEW_HOLD:
        return f.m_bLogging || f.m_bFollowing;
    case ID_VIEW_FOLLOW:
        return !f.m_bLogging && (f.m_bViewingCsv || f.m_bFollowing);
    default:
        return true;
    }
}

bool IsCommandChecked(int nId, const SCommandFlags& f) {
    switch (nId) {
    case ID_FILE_LOGGING:
        return f.m_bLogging;
    case ID_VIEW_HOLD:
        return f.m_bHold;
    case ID_VIEW_CURSOR:
        return f.m_bCursor;
    case ID_VIEW_TOOLBAR:
        return f.m_bToolBarVisible;
    case ID_VIEW_STATUS_BAR:
        return f.m_bStatusBarVisible;
    case ID_VIEW_FOLLOW:
        return f.m_bFollowing;
    default:
        return false;
    }
}
