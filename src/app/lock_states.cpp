#include "app/lock_states.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace {

bool IsLedOn(const QString& strLedDir, const char* pszSuffix) {
    const QDir dir(strLedDir);
    const QStringList leds = dir.entryList({QStringLiteral("*::") + QLatin1String(pszSuffix)},
                                           QDir::Dirs | QDir::System);
    for (const QString& strLed : leds) {
        QFile file(dir.filePath(strLed + QStringLiteral("/brightness")));
        if (file.open(QIODevice::ReadOnly) && file.readAll().trimmed().toInt() > 0)
            return true;
    }
    return false;
}

} // namespace

SLockStates ReadLockStates(const QString& strLedDir) {
    SLockStates s;
    s.m_bCaps = IsLedOn(strLedDir, "capslock");
    s.m_bNum = IsLedOn(strLedDir, "numlock");
    s.m_bScroll = IsLedOn(strLedDir, "scrolllock");
    return s;
}
