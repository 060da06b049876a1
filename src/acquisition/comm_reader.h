#pragma once

#include "acquisition/comm_setting.h"
#include "acquisition/line_source.h"
#include "acquisition/port_map.h"

#include <QDateTime>
#include <QEvent>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

class QObject;
class QSerialPort;
class QThread;

/// The WM_COMMDATA notification: complete lines wait in the reader of port wParam(). Posted by the
/// reader thread, delivered to the notify object on the window thread.
class CCommDataEvent : public QEvent {
public:
    static constexpr QEvent::Type WM_COMMDATA = QEvent::Type(QEvent::User + 1);

    explicit CCommDataEvent(int nPort) : QEvent(WM_COMMDATA), m_nPort(nPort) {}
    /// The port number given to CCommReader::Open.
    int wParam() const { return m_nPort; }

private:
    int m_nPort;
};

/// The WM_COMMSTATUS notification: the device of a running reader vanished, came back and was
/// reopened, or another device appeared under its name (told once per vanish; that one is not
/// opened). Posted by the reader thread to the notify object, delivered on the window thread;
/// Time() is the wall-clock moment it happened (for a vanish: the first failed read).
class CCommStatusEvent : public QEvent {
public:
    static constexpr QEvent::Type WM_COMMSTATUS = QEvent::Type(QEvent::User + 2);
    enum class EKind { Vanished, Reopened, OtherDevice };

    CCommStatusEvent(int nPort, EKind eKind, QDateTime time, QString strDevice)
        : QEvent(WM_COMMSTATUS), m_nPort(nPort), m_eKind(eKind), m_Time(std::move(time)),
          m_strDevice(std::move(strDevice)) {}
    /// The port number given to CCommReader::Open.
    int Port() const { return m_nPort; }
    EKind Kind() const { return m_eKind; }
    const QDateTime& Time() const { return m_Time; }
    /// The device path as the port map gave it (a link is not resolved).
    const QString& Device() const { return m_strDevice; }

private:
    int m_nPort;
    EKind m_eKind;
    QDateTime m_Time;
    QString m_strDevice;
};

/// Why CCommReader::Open failed.
enum class ECommOpenFailure {
    None,
    NoDevice,   ///< nothing maps to the COM number, or nothing is at its path
    Busy,       ///< another reader holds the device (under any name)
    Permission, ///< no read and write access
    Other,      ///< not a terminal, the worker could not start, ...
};

/// The failure of the last CCommReader::Open, as data for the caller's message.
struct SCommOpenFailure {
    ECommOpenFailure m_eKind = ECommOpenFailure::None;
    QString m_strDevice;     ///< the device's canonical path when known, else the mapped path
    int m_nErrno = 0;        ///< errno behind it, 0 when the port layer did not say
    qint64 m_nHolderPid = 0; ///< Busy: the process that holds the device, 0 when unknown
};

/// Serial line reader: opens a port, runs a worker thread that stores received bytes in a
/// 4096-byte ring and posts WM_COMMDATA when lines wait. Owned by the view; Open, Close,
/// GetLineCount, ReadLine and ClearNotified are called on the window thread.
///
/// Behaviour under pressure: the ring never overwrites an unread byte. While it is full the worker
/// stops taking bytes from the port (the driver keeps them) until the window thread reads a line.
/// Only when the whole ring is a single unfinished line is there nothing to wait for; then the
/// further bytes of that line are dropped and its CR ends it, because no reader takes that much
/// of one line anyway. m_nLines always equals the number of CRs in the ring not yet read.
///
/// Speed: the worker sleeps 1 ms before a read of up to kReadSize bytes, which serves every baud
/// rate a serial line has. When a read fills its whole block the device is faster than that; the
/// worker then reads again at once, as much as the ring has room for, until the driver runs dry.
class CCommReader : public CLineSource {
public:
    static constexpr int kRingSize = 4096;
    static constexpr int kReadSize = 1024;

    CCommReader();
    /// Closes the reader if it is still open, so that no thread outlives its reader.
    ~CCommReader() override;
    CCommReader(const CCommReader&) = delete;
    CCommReader& operator=(const CCommReader&) = delete;

    /// Sets how COM numbers become device paths for the following Open calls.
    void SetPortMap(const CPortMap& portMap) { m_PortMap = portMap; }
    const CPortMap& PortMap() const { return m_PortMap; }

    /// Opens COM nPort with the line settings of pSetting (defaults when null), starts the worker
    /// and makes pWnd the receiver of WM_COMMDATA and WM_COMMSTATUS. False when already open or
    /// the port cannot be opened (missing, busy, no access; the reason in LastOpenFailure); the
    /// reader is then unchanged or closed.
    ///
    /// The device is opened under its canonical path (links resolved), so the port layer's lock
    /// file carries the name other serial programs look for, and the descriptor is locked with
    /// flock(LOCK_EX | LOCK_NB): a second opener fails through any name, root included. Both
    /// directions are purged here, at the start of a session only. When the device vanishes
    /// while open, the worker reopens it only if the same device returns under the mapped path
    /// (USB: vendor, product and serial number; otherwise the device number), and without a
    /// purge, so that what it sent since is kept; each step is posted as a CCommStatusEvent.
    bool Open(int nPort, const SCommSetting* pSetting, QObject* pWnd);
    /// Why the last Open failed; kind None after a successful one. Window thread.
    const SCommOpenFailure& LastOpenFailure() const { return m_OpenFailure; }
    /// Stops the worker, waits for it and closes the port; false when not open. Returns within
    /// about 0.1 s: the worker looks at the stop request at least every 100 ms. Every complete
    /// line received until then stays readable: what the driver still held at the stop and what
    /// did not fit into the ring are kept aside and enter the ring as ReadLine makes room.
    bool Close();
    bool IsOpen() const { return m_pThread != nullptr; }
    /// The device path that the last Open used.
    QString DevicePath() const { return m_strDevice; }

    int GetLineCount() override;
    /// Takes exactly one waiting line: copies at most size-1 of its characters to dst and discards
    /// the rest of it up to its CR, so that every call consumes one CR.
    int ReadLine(char* dst, int size) override;
    void ClearNotified() override { m_bNotified = false; }

    /// The worker's loop; returns 0 when Close asks it to stop.
    static int ReaderThread(CCommReader* pReader);

private:
    /// Identity of a device node, to tell a returning device from another one.
    struct SDeviceId {
        uint64_t m_nRdev = 0;
        bool m_bUsb = false;
        quint16 m_nVendor = 0;
        quint16 m_nProduct = 0;
        QString m_strSerial;
    };
    /// Opens and locks the mapped device; bFirst: the session's first open (purge, identity and
    /// failure kept), else a reopen of the same device only. Worker thread.
    bool OpenPort(bool bFirst);
    void Tell(CCommStatusEvent::EKind eKind, const QDateTime& time);
    int ReadPort(char* buf, int nWant);
    /// Takes at most nWant bytes that the driver already holds, without waiting; -1 on a fault.
    int ReadAvailable(char* buf, int nWant);
    /// Waits up to nMilliseconds for the port to become readable (or hang up, or fail); false
    /// when the time ran out or Close woke the worker.
    bool WaitForPort(int nMilliseconds);
    /// Ends the worker (waking it from its wait on the port) and releases the wake-up.
    void StopWorker();
    int StoreBytes(const char* buf, int n);
    int StoreBytesLocked(const char* buf, int n);
    bool HasRoom();
    /// Waits up to 1 ms until the ring has room for a block; returns the room (0: none yet).
    int WaitForRoom();
    /// At the stop: keeps the unstored bytes and whatever the driver holds now for ReadLine.
    void KeepRestAtStop(const char* buf, int n);
    void RefillFromRestLocked();
    void NotifyIfWaiting();
    void Pause(int nMilliseconds);

    std::unique_ptr<QSerialPort> m_hComm; ///< created, used and destroyed on the worker thread
    char m_Ring[kRingSize] = {};
    int32_t m_nWritePos = 0;
    int32_t m_nReadPos = 0;
    int32_t m_nLines = 0;
    int32_t m_nStored = 0; ///< unread bytes in the ring, CRs included
    int32_t m_nCommPort = 0;
    std::atomic<bool> m_bRunning{false};
    int m_nWakeFd = -1; ///< eventfd Close writes to, so that the worker's wait ends at once
    std::atomic<bool> m_bNotified{false};
    std::unique_ptr<QThread> m_pThread;
    std::mutex m_cs;
    std::condition_variable m_cvRoom; ///< signalled when a waiting worker may store again
    bool m_bWaitingForRoom = false;   ///< guarded by m_cs
    std::string m_strRest;            ///< bytes received before Close that the ring had no room for
    QObject* m_pNotifyWnd = nullptr;

    CPortMap m_PortMap;
    QString m_strDevice;
    SCommSetting m_Setting;
    SCommOpenFailure m_OpenFailure;  ///< written by the worker before Open returns
    SDeviceId m_DeviceId;            ///< worker thread only after the first open
    bool m_bToldOtherDevice = false; ///< worker thread only
};
