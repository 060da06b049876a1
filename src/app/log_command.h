#pragma once

#include "app/command_line.h"

#include <QString>

struct SLogStartResult;

/// Process exit codes of `kest --log`: each failure has its own, so scripts can tell them apart.
enum EHeadlessExit : int {
    kExitLogged = 0,     ///< logged until stopped; every received line is in the file
    kExitUsage = 2,      ///< wrong command line
    kExitLogFile = 3,    ///< the log file exists (no --force), cannot be created, or a write failed
    kExitPortFailed = 4, ///< the COM port cannot be opened
    kExitPublish = 5     ///< the publishing settings cannot work (password file, CA file, ...)
};

/// A logging start that failed, worded for the command line: the exit code and the message.
struct SHeadlessError {
    int m_nExit = kExitLogged;
    QString m_strText;
};
/// The exit code and message of a failed start of `kest --log` (kExitLogged when it started).
SHeadlessError DescribeLogStart(const SLogStartResult& result);

// The commands that work without a window: `kest --log FILE.csv [--duration S] [--force]` and
// `kest --list-ports`. They need only a QCoreApplication and no display.

/// Logs from the profile's COM port into the file until SIGINT, SIGTERM, SIGHUP or the end of
/// the duration; the process exit code (see EHeadlessExit).
int RunLogCommand(const SLogOptions& cmd, const QString& strProfilePath);
/// Prints which device each COM number maps to, by which rule, what the system says about it
/// and whether this user may open it; the process exit code (0).
int RunListPorts(const QString& strProfilePath);
