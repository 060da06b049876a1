#pragma once

#include <QByteArray>
#include <QString>

/// The INI profile file, read and written line for line so that comments, unknown sections and
/// the order of everything survive; every write goes to disk at once. Window thread only.
class CProfile {
public:
    explicit CProfile(const QString& strPath);

    const QString& GetPath() const { return m_strPath; }

    /// Signed decimal value of the key (leading blanks, sign, digits), nDefault when the key is
    /// missing or empty.
    int GetProfileInt(const char* pszSection, const char* pszKey, int nDefault) const;
    /// The key's value bytes (at most 4095), strDefault when the key is missing; a key present
    /// with an empty value gives the empty string.
    QByteArray GetProfileString(const char* pszSection, const char* pszKey,
                                const QByteArray& strDefault) const;

    /// Writes nValue as "%d"; false when the file could not be written.
    bool WriteProfileInt(const char* pszSection, const char* pszKey, int nValue);
    /// Writes the bytes of strValue; a new key goes to the end of its section, a new section to
    /// the end of the file. CR and LF in the value become blanks so the file keeps its lines.
    bool WriteProfileString(const char* pszSection, const char* pszKey, const QByteArray& strValue);

    static constexpr int kMaxValue = 4095;

private:
    QString m_strPath;
};

/// The executable's path with the extension of its file name replaced by strExt (only the last
/// one: kest-1.04.run with ".INI" gives kest-1.04.INI, kest gives kest.INI). Only '/' separates
/// directories, and a file name starting with a dot has no extension there (.kest gives .kest.INI).
QString ExecutablePathWithExtension(const QString& strExePath, const QString& strExt);

/// kest.INI in the user's configuration directory ($XDG_CONFIG_HOME/kest, default
/// ~/.config/kest), which is created.
QString UserProfilePath();
/// The executable's path with ".INI" when that directory is writable, otherwise UserProfilePath.
QString ChooseProfilePath(const QString& strExePath);
