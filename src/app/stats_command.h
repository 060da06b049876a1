#pragma once

#include "app/command_line.h"

#include <QByteArray>
#include <QString>

class CProfile;

// `kest --stats`: the statistics window's figures of a CSV file, as CSV on standard output.

/// The table of args' file in full precision; false with strError set when the file cannot be
/// read completely.
bool StatsCsvOfFile(const SStatsOptions& args, const CProfile& profile, QByteArray& strCsv,
                    QString& strError);
/// The whole stats command: the table on stdout or the reason on stderr; the process exit code
/// (0 on success, 1 when reading or writing failed).
int RunStatsCommand(const SStatsOptions& args, const QString& strProfilePath);
