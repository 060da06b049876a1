#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;
class QTemporaryFile;

/// One whole file written the safe way: to a new temporary file beside the target, through the
/// descriptor this object holds, then checked to the last byte (QSaveFile::commit does not
/// notice a failure of its final buffered write) and renamed over the target. A symbolic link at
/// the target's name is replaced, never written through; a new file gets the mode the umask
/// gives, an existing one keeps its mode. Until Commit succeeds the target is untouched, and a
/// file that is not committed leaves nothing behind. Owned by the writer; one thread.
class CCompleteFile {
public:
    explicit CCompleteFile(const QString& strPath);
    ~CCompleteFile();
    CCompleteFile(const CCompleteFile&) = delete;
    CCompleteFile& operator=(const CCompleteFile&) = delete;

    /// Creates the temporary file; false with the reason when the folder does not allow it.
    bool Open(QString* pstrError = nullptr);
    /// Where to write (open after Open).
    QIODevice* Device();
    /// Writes out what is buffered, checks that every write reached the file and puts it in
    /// place; false with the reason (and the temporary removed) otherwise.
    bool Commit(QString* pstrError = nullptr);

private:
    QString m_strPath;
    std::unique_ptr<QTemporaryFile> m_pTemp;
};

/// Writes data to strPath as a CCompleteFile; false with nothing new left and an existing file
/// untouched when it cannot be written completely.
bool SaveFileComplete(const QString& strPath, const QByteArray& data, QString* pstrError = nullptr);
