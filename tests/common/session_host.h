#pragma once
// The window-thread side of a logging session in the acquisition tests.

#include "acquisition/comm_reader.h"
#include "acquisition/latest_row.h"
#include "acquisition/logging_session.h"

#include <QEvent>
#include <QObject>

/// Hands the reader's notifications to the session, as the view and the headless logger do.
class CSessionHost : public QObject {
public:
    bool event(QEvent* pEvent) override {
        if (pEvent->type() == CCommDataEvent::WM_COMMDATA) {
            m_pSession->OnCommData(false, &m_dLatest);
            return true;
        }
        return QObject::event(pEvent);
    }
    CLoggingSession* m_pSession = nullptr;
    SLatestRow m_dLatest;
};
