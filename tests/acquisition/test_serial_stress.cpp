#include "acquisition/comm_reader.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr int kLines = 1000000;

/// The text of line i: a sequence number, on some lines with extra fields so lengths vary.
std::string LineText(int i) {
    std::string s = std::to_string(i);
    if (i % 7 == 0)
        s += ",1.5,-2e3";
    if (i % 101 == 0)
        s += std::string(static_cast<size_t>(i % 300), ' ');
    return s;
}

/// Drains like the window thread's intake: the count once, that many lines, clear the flag, look
/// again; now and then it dawdles so that the ring fills and the device has to wait.
class CCheckingConsumer : public QObject {
public:
    explicit CCheckingConsumer(CCommReader& reader) : m_Reader(reader) {}

    bool event(QEvent* e) override {
        if (e->type() != CCommDataEvent::WM_COMMDATA)
            return QObject::event(e);
        ++m_nEvents;
        Drain();
        m_Reader.ClearNotified();
        Drain();
        if (m_nEvents % 97 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        if (m_nEvents % 1009 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
        return true;
    }

    void Drain() {
        const int k = m_Reader.GetLineCount();
        m_nMaxBatch = std::max(m_nMaxBatch, k);
        char buf[1024];
        for (int i = 0; i < k; ++i) {
            const int n = m_Reader.ReadLine(buf, 1023);
            const std::string expected = LineText(m_nNext);
            if (m_nBad == 0 && std::string(buf, static_cast<size_t>(n)) != expected) {
                m_strFirstBad = "line " + std::to_string(m_nNext) + ": got \"" +
                                std::string(buf, static_cast<size_t>(n)) + "\"";
                ++m_nBad;
            }
            ++m_nNext;
        }
    }

    CCommReader& m_Reader;
    int m_nNext = 0;
    int m_nEvents = 0;
    int m_nMaxBatch = 0;
    int m_nBad = 0;
    std::string m_strFirstBad;
};

TEST(SerialStress, MillionLinesExactlyOnceInOrder) {
    CPtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    CCommReader reader;
    reader.SetPortMap(MapOne(1, pty.SlavePath()));
    CCheckingConsumer consumer(reader);
    SCommSetting setting;
    setting.m_nBaudRate = 3000000;
    ASSERT_TRUE(reader.Open(1, &setting, &consumer));

    QElapsedTimer timer;
    timer.start();
    // The device writes as fast as the terminal takes it, in blocks that split lines anywhere.
    std::thread device([&] {
        std::string block;
        for (int i = 0; i < kLines; ++i) {
            block += LineText(i);
            block += "\r\n";
            if (block.size() >= 3000 || i == kLines - 1) {
                if (!pty.Write(block))
                    return;
                block.clear();
            }
        }
    });

    QTimer tick; // wakes the loop now and then so that the deadline is seen without events
    tick.start(100);
    QElapsedTimer deadline;
    deadline.start();
    while (consumer.m_nNext < kLines && deadline.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 nMs = timer.elapsed();
    device.join();

    // Nothing more may come: no duplicates after the last line.
    Settle(100);
    EXPECT_EQ(reader.GetLineCount(), 0);
    EXPECT_TRUE(reader.Close());

    EXPECT_EQ(consumer.m_nBad, 0) << consumer.m_strFirstBad;
    EXPECT_EQ(consumer.m_nNext, kLines);
    EXPECT_LT(consumer.m_nEvents, kLines / 10)
        << "the window must be woken per batch, not per line";
    std::printf("%d lines in %lld ms (%.0f lines/s), %d notifications, largest batch %d lines\n",
                consumer.m_nNext, static_cast<long long>(nMs),
                consumer.m_nNext * 1000.0 / static_cast<double>(std::max<qint64>(nMs, 1)),
                consumer.m_nEvents, consumer.m_nMaxBatch);
}

} // namespace
