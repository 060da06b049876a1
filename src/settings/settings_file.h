#pragma once

#include "acquisition/comm_setting.h"
#include "settings/kest_doc.h"

#include <QString>

#include <cstdio>

/// An open settings file read in pieces the way text-mode fgets reads them: at most size-1 bytes
/// at a time, a piece ends after LF, and CR LF counts as one LF. Owned by the loading command.
class CSettingsReader {
public:
    static constexpr int kBufferSize = 512;

    explicit CSettingsReader(std::FILE* pFile) : m_pFile(pFile) {}

    /// Next piece, NUL-terminated; false at end of file (a read error counts as the end).
    bool ReadLine(char* buf, int size);

private:
    std::FILE* m_pFile;
};

/// Writes the 93 lines of a settings file with CR LF ends; false when the file cannot be
/// created or written (an existing file is then left as it was).
bool WriteSettingsFile(const QString& strPath, const SCommSetting& comm, const CkestDoc& doc,
                       int nSamplesPerDiv);

/// Loads a settings file leniently: sections in any order, unknown lines ignored, values passed
/// through the clamps at each section's end. False only when the file cannot be opened, and
/// then nothing has changed. The caller writes the profile afterwards.
bool ReadSettingsFile(const QString& strPath, SCommSetting& comm, CkestDoc& doc,
                      int& nSamplesPerDiv);

// Section readers: each reads the lines after its marker up to and including "#END" (or the end
// of the file) and applies what it read.

/// Stores each value at once, unchecked; 8-bit fields keep the low 8 bits.
void ReadCommSection(CSettingsReader& file, SCommSetting& comm);
/// InitLogData(Channels, initial size) at the end; Channels defaults to 2.
void ReadSettingSection(CSettingsReader& file, CkestDoc& doc);
/// ClampSamplesPerDiv(Res) at the end; Res defaults to 100.
void ReadHSettingSection(CSettingsReader& file, int& nSamplesPerDiv);
/// SetChannelAttr(nIndex, ...) at the end (channel nIndex + 1, 0..7), starting from a default
/// record with that channel's default colour.
void ReadVSettingSection(CSettingsReader& file, CkestDoc& doc, int nIndex);
