#pragma once
// Where the harnesses keep the files they write for every input: a directory on a tmpfs, so that
// a run measures the code under test, not the root disk's renames and flushes.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

/// A temporary directory on a tmpfs for the life of the process: under /dev/shm when that is a
/// writable tmpfs, else on a tmpfs mounted for it (as root), else, said once on standard error,
/// in the usual temporary directory.
class CFuzzTempDir {
public:
    CFuzzTempDir() {
        constexpr long kTmpfsMagic = 0x01021994;
        struct statfs fs {};
        if (::statfs("/dev/shm", &fs) == 0 && fs.f_type == kTmpfsMagic &&
            ::access("/dev/shm", W_OK) == 0) {
            m_pDir = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/kest-fuzz-XXXXXX"));
            if (m_pDir->isValid())
                return;
        }
        m_pDir = std::make_unique<QTemporaryDir>();
        const QByteArray path = QFile::encodeName(m_pDir->path());
        if (::mount("tmpfs", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64m") == 0) {
            m_bMounted = true;
            return;
        }
        std::fprintf(stderr, "fuzz: no tmpfs for temporary files, using %s (slower)\n",
                     path.constData());
    }
    ~CFuzzTempDir() {
        if (m_bMounted)
            ::umount2(QFile::encodeName(m_pDir->path()).constData(), MNT_DETACH);
    }
    CFuzzTempDir(const CFuzzTempDir&) = delete;
    CFuzzTempDir& operator=(const CFuzzTempDir&) = delete;

    QString filePath(const QString& strName) const { return m_pDir->filePath(strName); }

private:
    std::unique_ptr<QTemporaryDir> m_pDir;
    bool m_bMounted = false;
};
