#pragma once

// A file system of a few kB (a tmpfs mounted on a temporary directory), for the tests of writing
// on a full disk. Mounting needs root (CI runs the tests so); elsewhere the tests skip.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

/// A mounted tiny tmpfs that the test fills to the brim; unmounted when it goes.
class CFullTmpfs {
public:
    CFullTmpfs() {
        if (!m_Dir.isValid()) {
            m_strWhyNot = QStringLiteral("no temporary directory");
            return;
        }
        const QByteArray path = QFile::encodeName(m_Dir.path());
        if (::mount("kest-full", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=64k,mode=0755") != 0) {
            m_strWhyNot = QStringLiteral("cannot mount a tmpfs here (%1): run as root to test a "
                                         "full disk")
                              .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        m_bMounted = true;
    }
    ~CFullTmpfs() {
        if (m_bMounted)
            ::umount2(QFile::encodeName(m_Dir.path()).constData(), MNT_DETACH);
    }
    CFullTmpfs(const CFullTmpfs&) = delete;
    CFullTmpfs& operator=(const CFullTmpfs&) = delete;

    bool IsMounted() const { return m_bMounted; }
    QString WhyNot() const { return m_strWhyNot; }
    QString Path(const QString& strName) const { return m_Dir.filePath(strName); }
    /// The names in the file system other than the filler.
    QStringList Names() const {
        QStringList names =
            QDir(m_Dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.removeAll(QStringLiteral("filler"));
        return names;
    }
    /// Takes every byte left: a filler file written until the file system says it is full.
    bool Fill() const {
        const int fd = ::open(QFile::encodeName(Path(QStringLiteral("filler"))).constData(),
                              O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0)
            return false;
        char block[4096];
        std::memset(block, 'x', sizeof block);
        for (size_t n = sizeof block; n > 0; n /= 2) {
            while (::write(fd, block, n) == static_cast<ssize_t>(n)) {
            }
        }
        const bool bFull = errno == ENOSPC;
        ::close(fd);
        return bFull;
    }

private:
    QTemporaryDir m_Dir;
    bool m_bMounted = false;
    QString m_strWhyNot;
};
