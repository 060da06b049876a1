#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

/// Turns SIGINT, SIGTERM and SIGHUP into a call on the event loop's thread, so that a stop request
/// can close files properly instead of ending the process. One per process, owned by main while
/// it runs a command that must stop cleanly; the previous handlers come back on destruction.
class CStopSignals : public QObject {
public:
    explicit CStopSignals(std::function<void(int)> fnOnSignal);
    ~CStopSignals() override;
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

private:
    void OnReadable();

    std::function<void(int)> m_fnOnSignal;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    bool m_bInstalled = false;
};
