#pragma once
// A real pseudo-terminal standing in for a serial device, and a receiver of the reader's event.

#include "wait_until.h"

#include "acquisition/comm_reader.h"

#include <QObject>
#include <QString>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

/// Master and slave of one pseudo-terminal; the test writes to the master as the device would.
class CPtyPair {
public:
    CPtyPair() {
        char name[256] = {};
        if (::openpty(&m_fdMaster, &m_fdSlave, name, nullptr, nullptr) == 0) {
            m_strSlave = QString::fromLocal8Bit(name);
            termios tio{};
            ::tcgetattr(m_fdSlave, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fdSlave, TCSANOW, &tio);
        }
    }
    ~CPtyPair() {
        CloseMaster();
        if (m_fdSlave >= 0)
            ::close(m_fdSlave);
    }
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    bool IsValid() const { return m_fdMaster >= 0 && !m_strSlave.isEmpty(); }
    const QString& SlavePath() const { return m_strSlave; }

    /// Writes all bytes, blocking while the terminal's buffer is full.
    bool Write(std::string_view bytes) {
        size_t nDone = 0;
        while (nDone < bytes.size()) {
            const ssize_t n = ::write(m_fdMaster, bytes.data() + nDone, bytes.size() - nDone);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            nDone += static_cast<size_t>(n);
        }
        return true;
    }
    /// What the device sent that nobody has read yet from the terminal (the slave's input
    /// queue), taken now.
    std::string TakeUnread() {
        std::string str;
        char buf[4096];
        const int nFlags = ::fcntl(m_fdSlave, F_GETFL);
        ::fcntl(m_fdSlave, F_SETFL, nFlags | O_NONBLOCK);
        for (;;) {
            const ssize_t n = ::read(m_fdSlave, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            str.append(buf, static_cast<size_t>(n));
        }
        ::fcntl(m_fdSlave, F_SETFL, nFlags);
        return str;
    }
    void CloseMaster() {
        if (m_fdMaster >= 0)
            ::close(m_fdMaster);
        m_fdMaster = -1;
    }

private:
    int m_fdMaster = -1;
    int m_fdSlave = -1;
    QString m_strSlave;
};

/// Counts WM_COMMDATA events and remembers the last port number they carried; keeps every
/// WM_COMMSTATUS event's kind and time.
class CEventCounter : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == CCommDataEvent::WM_COMMDATA) {
            ++m_nEvents;
            m_nLastPort = static_cast<CCommDataEvent*>(e)->wParam();
            return true;
        }
        if (e->type() == CCommStatusEvent::WM_COMMSTATUS) {
            const auto* pStatus = static_cast<CCommStatusEvent*>(e);
            m_vecStatus.push_back(pStatus->Kind());
            m_vecStatusTime.push_back(pStatus->Time());
            m_nLastPort = pStatus->Port();
            return true;
        }
        return QObject::event(e);
    }
    int m_nEvents = 0;
    int m_nLastPort = -1;
    std::vector<CCommStatusEvent::EKind> m_vecStatus;
    std::vector<QDateTime> m_vecStatusTime;
};

/// A port map whose COM nPort is the given device.
inline CPortMap MapOne(int nPort, const QString& strPath) {
    CPortMap map(QStringLiteral("/nonexistent-dev-root"));
    map.SetOverrides({{nPort, strPath}});
    return map;
}
