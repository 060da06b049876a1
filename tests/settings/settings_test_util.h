#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

/// Path of a file in tests/data.
inline QString TestDataPath(const char* pszName) {
    const char* pszDir = std::getenv("KEST_TEST_DATA");
    return QString::fromLocal8Bit(pszDir != nullptr ? pszDir : "tests/data") + QLatin1Char('/') +
           QString::fromLatin1(pszName);
}

inline QByteArray ReadBytes(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline bool WriteBytes(const QString& strPath, const QByteArray& data) {
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

/// A private copy of a tests/data file that a test may rewrite.
inline QString CopyTestData(const QTemporaryDir& dir, const char* pszName) {
    const QString strCopy = dir.filePath(QString::fromLatin1(pszName));
    const QByteArray data = ReadBytes(TestDataPath(pszName));
    EXPECT_FALSE(data.isEmpty()) << "missing test data " << pszName;
    EXPECT_TRUE(WriteBytes(strCopy, data));
    return strCopy;
}
