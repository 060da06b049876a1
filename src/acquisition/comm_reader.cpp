#include "acquisition/comm_reader.h"

#include "acquisition/serial_config.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

namespace {

// The worker re-checks the stop request at least this often while a read waits for data.
constexpr int kStopSliceMs = 100;
// Pause after a failed read before trying again; a vanished device must not spin a core.
constexpr int kErrorBackoffMs = 50;
// Pause between attempts to reopen a port that failed or was closed under us.
constexpr int kReopenBackoffMs = 100;
// Failed reads in a row after which the port is closed and reopened: an unplugged adapter never
// comes back on the old descriptor, only on a new one under the same path.
constexpr int kFaultsBeforeReopen = 10;

/// Applies the user's line settings; anything the driver refuses is left as the port has it.
void ConfigurePort(QSerialPort& port, const SCommSetting& setting) {
    const SSerialConfig cfg = MapCommSetting(setting);
    if (cfg.m_nBaudRate)
        port.setBaudRate(*cfg.m_nBaudRate);
    if (cfg.m_DataBits)
        port.setDataBits(*cfg.m_DataBits);
    if (cfg.m_Parity)
        port.setParity(*cfg.m_Parity);
    if (cfg.m_StopBits)
        port.setStopBits(*cfg.m_StopBits); // 1.5 is refused by POSIX drivers: one stop bit stays
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setRequestToSend(true);

    // The port layer has no switch for input parity checking; set it on the descriptor.
    const int fd = static_cast<int>(port.handle());
    termios tio{};
    if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
        if (cfg.m_bParityCheck)
            tio.c_iflag |= INPCK;
        else
            tio.c_iflag &= ~INPCK;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    port.clearError();
}

bool ProcessExists(qint64 nPid) {
    return nPid > 0 && (::kill(static_cast<pid_t>(nPid), 0) == 0 || errno == EPERM);
}

/// The process holding a flock on the node (dev, ino), from the kernel's table of locks.
qint64 FlockHolder(const struct stat& st) {
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QByteArray node = QByteArray::number(major(st.st_dev), 16).rightJustified(2, '0') + ':' +
                            QByteArray::number(minor(st.st_dev), 16).rightJustified(2, '0') + ':' +
                            QByteArray::number(static_cast<qulonglong>(st.st_ino));
    // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF"; waiters are listed with "->" and skipped.
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields[1] == "FLOCK" && fields[5] == node)
            return fields[4].toLongLong();
    }
    return 0;
}

/// The PID in a serial lock file ("LCK..ttyUSB0", text or the port layer's form) of the device,
/// in the directories serial programs use; 0 when none names a live process.
qint64 LockFileHolder(const QString& strCanonical) {
    QString strName = strCanonical;
    if (strName.startsWith(QLatin1String("/dev/")))
        strName.remove(0, 5);
    strName.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* pszDir : {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks",
                               "/var/spool/uucp", "/tmp", "/var/tmp", "/var/lock/lockdev"}) {
        QFile file(QString::fromLatin1(pszDir) + QStringLiteral("/LCK..") + strName);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const qint64 nPid = file.readLine(64).trimmed().toLongLong();
        if (ProcessExists(nPid))
            return nPid;
    }
    return 0;
}

} // namespace

CCommReader::CCommReader() = default;

CCommReader::~CCommReader() {
    Close();
}

bool CCommReader::Open(int nPort, const SCommSetting* pSetting, QObject* pWnd) {
    if (m_pThread)
        return false;

    m_nCommPort = nPort;
    m_Setting = pSetting ? *pSetting : SCommSetting{};
    m_strDevice = m_PortMap.DevicePathFor(nPort);
    m_OpenFailure = SCommOpenFailure{ECommOpenFailure::NoDevice, m_strDevice, ENOENT, 0};
    if (m_strDevice.isEmpty())
        return false;
    m_OpenFailure = SCommOpenFailure{ECommOpenFailure::Other, m_strDevice, 0, 0};
    m_bToldOtherDevice = false;

    {
        std::lock_guard<std::mutex> lock(m_cs);
        m_nLines = 0;
        m_nWritePos = 0;
        m_nReadPos = 0;
        m_nStored = 0;
        m_strRest.clear();
        m_bWaitingForRoom = false;
    }
    m_bRunning = true;
    m_bNotified = false;
    m_pNotifyWnd = pWnd;
    // Close writes to it to end the worker's wait on the port at once. Without it (no file
    // descriptors left) the worker still stops, within its longest wait.
    m_nWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    // The port is opened on the worker, where it lives, but Open reports the real result.
    auto pOpened = std::make_shared<std::promise<bool>>();
    std::future<bool> opened = pOpened->get_future();
    m_pThread.reset(QThread::create([this, pOpened] {
        const bool bOk = OpenPort(true);
        pOpened->set_value(bOk);
        if (bOk)
            ReaderThread(this);
        m_hComm.reset();
    }));

    bool bOk = false;
    if (m_pThread) {
        m_pThread->start();
        // A thread that could not be started never answers; do not wait for it forever.
        while (opened.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
            if (m_pThread->isFinished() || !m_pThread->isRunning()) {
                if (opened.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
                    break;
            }
        }
        bOk = opened.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready &&
              opened.get();
    }
    if (!bOk) {
        StopWorker();
        m_pNotifyWnd = nullptr;
        return false;
    }
    return true;
}

void CCommReader::StopWorker() {
    m_bRunning = false;
    if (m_nWakeFd >= 0) {
        const uint64_t nOne = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_nWakeFd, &nOne, sizeof nOne);
    }
    if (m_pThread)
        m_pThread->wait();
    m_pThread.reset();
    if (m_nWakeFd >= 0)
        ::close(m_nWakeFd);
    m_nWakeFd = -1;
}

bool CCommReader::Close() {
    if (!m_pThread)
        return false;
    StopWorker();
    return true;
}

int CCommReader::GetLineCount() {
    std::lock_guard<std::mutex> lock(m_cs);
    RefillFromRestLocked();
    return m_nLines;
}

int CCommReader::ReadLine(char* dst, int size) {
    if (!dst || size < 1)
        return 0;
    std::lock_guard<std::mutex> lock(m_cs);
    int n = 0;
    if (m_nLines > 0) {
        bool bEnded = false;
        while (n < size - 1) {
            if (m_nReadPos >= kRingSize)
                m_nReadPos = 0;
            const char c = m_Ring[m_nReadPos++];
            --m_nStored;
            if (c == '\r') {
                bEnded = true;
                break;
            }
            dst[n++] = c;
        }
        // The rest of an over-long line goes, so that the next call starts at the next line.
        while (!bEnded) {
            if (m_nReadPos >= kRingSize)
                m_nReadPos = 0;
            bEnded = m_Ring[m_nReadPos++] == '\r';
            --m_nStored;
        }
        --m_nLines;
        RefillFromRestLocked();
        // Wake the worker only once a whole block fits: waking it for every line would turn a
        // fast stream into reads of one line each.
        if (m_bWaitingForRoom && kRingSize - m_nStored >= kReadSize) {
            m_bWaitingForRoom = false;
            m_cvRoom.notify_one();
        }
    }
    dst[n] = '\0';
    return n;
}

void CCommReader::RefillFromRestLocked() {
    if (m_strRest.empty())
        return;
    const int nUsed = StoreBytesLocked(m_strRest.data(), static_cast<int>(m_strRest.size()));
    m_strRest.erase(0, static_cast<size_t>(nUsed));
}

bool CCommReader::OpenPort(bool bFirst) {
    SCommOpenFailure failure{ECommOpenFailure::NoDevice, m_strDevice, 0, 0};
    auto fail = [&](ECommOpenFailure eKind, int nErrno) {
        if (bFirst)
            m_OpenFailure = {eKind, failure.m_strDevice, nErrno, failure.m_nHolderPid};
        return false;
    };
    // One device, one lock file name: the one other serial programs derive from the real node.
    char szReal[PATH_MAX];
    if (!::realpath(QFile::encodeName(m_strDevice).constData(), szReal))
        return fail(ECommOpenFailure::NoDevice, errno);
    const QString strCanonical = QFile::decodeName(szReal);
    failure.m_strDevice = strCanonical;
    struct stat st {};
    if (::stat(szReal, &st) != 0)
        return fail(ECommOpenFailure::NoDevice, errno);

    SDeviceId id;
    id.m_nRdev = static_cast<uint64_t>(st.st_rdev);
    const QSerialPortInfo info(strCanonical);
    if (!info.isNull() && info.hasVendorIdentifier() && info.hasProductIdentifier()) {
        id.m_bUsb = true;
        id.m_nVendor = info.vendorIdentifier();
        id.m_nProduct = info.productIdentifier();
        id.m_strSerial = info.serialNumber();
    }
    if (!bFirst) {
        const bool bSame = m_DeviceId.m_bUsb ? id.m_bUsb && id.m_nVendor == m_DeviceId.m_nVendor &&
                                                   id.m_nProduct == m_DeviceId.m_nProduct &&
                                                   id.m_strSerial == m_DeviceId.m_strSerial
                                             : !id.m_bUsb && id.m_nRdev == m_DeviceId.m_nRdev;
        if (!bSame) {
            if (!m_bToldOtherDevice) {
                m_bToldOtherDevice = true;
                Tell(CCommStatusEvent::EKind::OtherDevice, QDateTime::currentDateTime());
            }
            return false;
        }
    }

    auto pPort = std::make_unique<QSerialPort>();
    pPort->setPortName(strCanonical);
    // The port layer takes the lock file and TIOCEXCL; neither stops root.
    if (!pPort->open(QIODevice::ReadWrite)) {
        failure.m_nHolderPid = FlockHolder(st);
        if (!failure.m_nHolderPid)
            failure.m_nHolderPid = LockFileHolder(strCanonical);
        if (failure.m_nHolderPid)
            return fail(ECommOpenFailure::Busy, EBUSY);
        switch (pPort->error()) {
        case QSerialPort::DeviceNotFoundError:
            return fail(ECommOpenFailure::NoDevice, ENOENT);
        case QSerialPort::PermissionError:
            if (::access(szReal, R_OK | W_OK) != 0)
                return fail(ECommOpenFailure::Permission, errno);
            return fail(ECommOpenFailure::Busy, EBUSY); // TIOCEXCL held by another process
        default:
            return fail(ECommOpenFailure::Other, 0);
        }
    }
    // The lock that holds for every name and every user: on the open file itself.
    const int fd = static_cast<int>(pPort->handle());
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErrno = errno;
        struct stat stOpen {};
        failure.m_nHolderPid = ::fstat(fd, &stOpen) == 0 ? FlockHolder(stOpen) : 0;
        pPort->close();
        return fail(nErrno == EWOULDBLOCK ? ECommOpenFailure::Busy : ECommOpenFailure::Other,
                    nErrno);
    }
    ConfigurePort(*pPort, m_Setting);
    // Only a new session starts from nothing: a device that returns keeps what it sent since.
    if (bFirst) {
        pPort->clear(QSerialPort::AllDirections);
        m_DeviceId = id;
        m_OpenFailure = {};
    }
    pPort->clearError();
    m_hComm = std::move(pPort);
    return true;
}

void CCommReader::Tell(CCommStatusEvent::EKind eKind, const QDateTime& time) {
    if (m_pNotifyWnd)
        QCoreApplication::postEvent(m_pNotifyWnd,
                                    new CCommStatusEvent(m_nCommPort, eKind, time, m_strDevice));
}

void CCommReader::Pause(int nMilliseconds) {
    QDeadlineTimer deadline(nMilliseconds);
    while (m_bRunning && !deadline.hasExpired())
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::clamp<qint64>(deadline.remainingTime(), 1, 10)));
}

int CCommReader::ReadPort(char* buf, int nWant) {
    QSerialPort& port = *m_hComm;
    // Returns when nWant bytes have come, after 10 ms of silence once a byte has come, or after
    // 10 ms + 1 ms per requested byte in all.
    QDeadlineTimer total(10 + nWant);
    int n = 0;
    while (n < nWant && m_bRunning) {
        if (port.bytesAvailable() == 0) {
            const qint64 nLeft = total.remainingTime();
            if (nLeft <= 0)
                break;
            if (n > 0) {
                // Bytes have come. Waking for every later byte would cost a wake-up per line of
                // a slow device; look again once the silence interval has passed instead: if
                // nothing came meanwhile, that was the silence that ends the read.
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(nLeft, 10)));
                port.clearError();
                if (!port.waitForReadyRead(0)) {
                    const QSerialPort::SerialPortError eError = port.error();
                    if (eError == QSerialPort::TimeoutError || eError == QSerialPort::NoError)
                        break;
                    return n;
                }
                if (port.bytesAvailable() == 0)
                    return n; // a hung-up line polls ready without data
                continue;
            }
            // Sleep in the kernel until the port has bytes, the read's time is up or Close
            // wakes us: an idle line costs about one wake-up a second.
            if (!WaitForPort(static_cast<int>(nLeft)))
                continue;
            port.clearError();
            if (!port.waitForReadyRead(0)) {
                const QSerialPort::SerialPortError eError = port.error();
                if (eError == QSerialPort::TimeoutError || eError == QSerialPort::NoError)
                    continue;
                return -1;
            }
            // Ready without data: a hung-up line polls ready for ever.
            if (port.bytesAvailable() == 0)
                return -1;
        }
        const qint64 nRead = port.read(buf + n, nWant - n);
        if (nRead < 0)
            return n > 0 ? n : -1;
        n += static_cast<int>(nRead);
    }
    return n;
}

bool CCommReader::WaitForPort(int nMilliseconds) {
    const int fdPort = static_cast<int>(m_hComm->handle());
    if (fdPort < 0 || m_nWakeFd < 0) {
        // No descriptor to wait on: the port layer's own wait, in slices so a stop is seen.
        m_hComm->clearError();
        return m_hComm->waitForReadyRead(std::min(nMilliseconds, kStopSliceMs)) ||
               m_hComm->bytesAvailable() > 0 ||
               (m_hComm->error() != QSerialPort::TimeoutError &&
                m_hComm->error() != QSerialPort::NoError);
    }
    pollfd fds[2] = {{fdPort, POLLIN, 0}, {m_nWakeFd, POLLIN, 0}};
    const int nReady = ::poll(fds, 2, nMilliseconds);
    if (nReady <= 0 || (fds[1].revents & POLLIN) != 0)
        return false; // time up, a signal, or Close: the caller looks at the clock and the flag
    // Readable, hung up or failed: the port layer tells which when it fetches.
    return fds[0].revents != 0;
}

int CCommReader::ReadAvailable(char* buf, int nWant) {
    QSerialPort& port = *m_hComm;
    // The port layer only fetches from the driver inside a wait; a zero wait fetches what is
    // there (up to 32 KiB) without blocking.
    if (port.bytesAvailable() < nWant) {
        port.clearError();
        port.waitForReadyRead(0);
        const QSerialPort::SerialPortError eError = port.error();
        if (eError != QSerialPort::NoError && eError != QSerialPort::TimeoutError &&
            port.bytesAvailable() == 0)
            return -1;
    }
    const qint64 nRead = port.read(buf, nWant);
    return nRead < 0 ? -1 : static_cast<int>(nRead);
}

bool CCommReader::HasRoom() {
    std::lock_guard<std::mutex> lock(m_cs);
    return m_nStored < kRingSize || m_nLines == 0;
}

int CCommReader::WaitForRoom() {
    std::unique_lock<std::mutex> lock(m_cs);
    auto room = [this] {
        // A ring that is one unfinished line takes (and drops) bytes until its CR comes.
        return m_nLines == 0 ? kRingSize : kRingSize - m_nStored;
    };
    if (room() < kReadSize && m_bRunning) {
        m_bWaitingForRoom = true;
        m_cvRoom.wait_for(lock, std::chrono::milliseconds(1));
        m_bWaitingForRoom = false;
    }
    return room();
}

void CCommReader::KeepRestAtStop(const char* buf, int n) {
    {
        std::lock_guard<std::mutex> lock(m_cs);
        const int nUsed = StoreBytesLocked(buf, n);
        m_strRest.append(buf + nUsed, static_cast<size_t>(n - nUsed));
    }
    if (!m_hComm || !m_hComm->isOpen())
        return;
    // What the driver held when the user stopped was sent before the stop; take it, but not
    // more than the driver's queue would hold, so that a streaming device cannot keep us here.
    constexpr int kMaxSweep = 65536;
    char chunk[kReadSize];
    int nSwept = 0;
    while (nSwept < kMaxSweep) {
        const int nRead = ReadAvailable(chunk, kReadSize);
        if (nRead <= 0)
            break;
        nSwept += nRead;
        std::lock_guard<std::mutex> lock(m_cs);
        if (m_strRest.empty()) {
            const int nUsed = StoreBytesLocked(chunk, nRead);
            m_strRest.append(chunk + nUsed, static_cast<size_t>(nRead - nUsed));
        } else {
            m_strRest.append(chunk, static_cast<size_t>(nRead));
        }
    }
}

int CCommReader::StoreBytes(const char* buf, int n) {
    std::lock_guard<std::mutex> lock(m_cs);
    return StoreBytesLocked(buf, n);
}

int CCommReader::StoreBytesLocked(const char* buf, int n) {
    int i = 0;
    for (; i < n; ++i) {
        const char b = buf[i];
        if (b == '\n')
            continue;
        if (m_nStored >= kRingSize) {
            if (m_nLines > 0)
                break; // the rest waits until the window thread has read a line
            // The ring is one unfinished line far beyond any reader's limit: drop its further
            // bytes and let its CR end it in the last cell (m_nWritePos >= 1 when full).
            if (b == '\r') {
                m_Ring[m_nWritePos - 1] = '\r';
                ++m_nLines;
            }
            continue;
        }
        if (m_nWritePos >= kRingSize)
            m_nWritePos = 0;
        m_Ring[m_nWritePos++] = b;
        ++m_nStored;
        if (b == '\r')
            ++m_nLines;
    }
    return i;
}

void CCommReader::NotifyIfWaiting() {
    if (!m_pNotifyWnd || m_bNotified)
        return;
    int nLines = 0;
    {
        std::lock_guard<std::mutex> lock(m_cs);
        nLines = m_nLines;
    }
    // Any waiting line is announced, not only one completed in this pass: lines left over when
    // the window thread cleared the flag are not stranded until the device sends again.
    if (nLines > 0 && !m_bNotified.exchange(true))
        QCoreApplication::postEvent(m_pNotifyWnd, new CCommDataEvent(m_nCommPort));
}

int CCommReader::ReaderThread(CCommReader* pReader) {
    CCommReader& r = *pReader;
    char buf[kRingSize];
    int nPending = 0; // bytes read from the port that did not fit into the ring yet
    int nOffset = 0;
    int nFaults = 0;
    QDateTime timeFirstFault;
    bool bUp = true; // the device is open and read; false between a vanish and its return
    // Reopened but not yet read without a fault: told only then, so that a line that hangs up
    // again at once (its node still there) does not flood the window with vanish and return.
    QDateTime timeReopened;
    bool bBurst = false; // the last read filled its whole block: the driver holds more
    while (r.m_bRunning) {
        if (!bBurst)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        r.NotifyIfWaiting();

        if (!r.m_hComm || !r.m_hComm->isOpen()) {
            if (bUp) {
                bUp = false;
                r.m_bToldOtherDevice = false;
                r.Tell(CCommStatusEvent::EKind::Vanished,
                       timeFirstFault.isValid() ? timeFirstFault : QDateTime::currentDateTime());
            }
            // The device is gone: try to open it again now and then.
            bBurst = false;
            nFaults = 0;
            timeFirstFault = QDateTime();
            r.m_hComm.reset();
            r.Pause(kReopenBackoffMs);
            if (r.m_bRunning && r.OpenPort(false))
                timeReopened = QDateTime::currentDateTime();
            continue;
        }

        if (nPending == 0 && bBurst) {
            const int nRoom = r.WaitForRoom();
            if (nRoom <= 0)
                continue;
            const int nRead = r.ReadAvailable(buf, nRoom);
            // Fewer bytes than asked for: the driver is drained, back to the paced reads.
            bBurst = nRead == nRoom;
            if (nRead <= 0)
                continue;
            nPending = nRead;
            nOffset = 0;
        } else if (nPending == 0) {
            if (!r.HasRoom())
                continue;
            QElapsedTimer timer;
            timer.start();
            const int nRead = r.ReadPort(buf, kReadSize);
            // An empty read that came back at once is a fault too (a hung-up line polls ready).
            if (nRead < 0 || (nRead == 0 && r.m_bRunning && timer.elapsed() < 5)) {
                if (nFaults == 0)
                    timeFirstFault = QDateTime::currentDateTime();
                if (++nFaults >= kFaultsBeforeReopen) {
                    r.m_hComm->close();
                    continue;
                }
                r.Pause(kErrorBackoffMs);
                continue;
            }
            nFaults = 0;
            timeFirstFault = QDateTime();
            if (!bUp && timeReopened.isValid()) {
                bUp = true;
                r.Tell(CCommStatusEvent::EKind::Reopened, timeReopened);
                timeReopened = QDateTime();
            }
            nPending = nRead;
            nOffset = 0;
            bBurst = nRead == kReadSize;
        }
        if (nPending > 0) {
            const int nUsed = r.StoreBytes(buf + nOffset, nPending);
            nOffset += nUsed;
            nPending -= nUsed;
            if (nUsed == 0) {
                r.NotifyIfWaiting();
                r.WaitForRoom(); // the pass without a sleep must not spin on a full ring
            }
        }
        r.NotifyIfWaiting();
    }
    r.KeepRestAtStop(buf + nOffset, nPending);
    return 0;
}
