#include "app/window_title.h"

QString MakeWindowTitle(const QString& strPath) {
    QString strName = strPath;
    const qsizetype nSlash =
        std::max(strName.lastIndexOf(QLatin1Char('/')), strName.lastIndexOf(QLatin1Char('\\')));
    if (nSlash >= 0)
        strName = strName.mid(nSlash + 1);
    else if (strName.size() >= 2 && strName[1] == QLatin1Char(':') && strName[0].isLetter())
        strName = strName.mid(2);
    if (strName.isEmpty() && strPath.isEmpty())
        return QString::fromLatin1(kAppTitle);
    return QString::fromLatin1(kAppTitle) + QLatin1Char('-') + strName;
}
