#pragma once

#include "app/command_line.h"

#include <QString>

// The commands that work without a window: `kest --log FILE.csv [--duration S] [--force]` and
// `kest --list-ports`. They need only a QCoreApplication and no display.

/// Logs from the profile's COM port into the file until SIGINT, SIGTERM, SIGHUP or the end of
/// the duration; the process exit code (see EHeadlessExit).
int RunLogCommand(const SLogOptions& cmd, const QString& strProfilePath);
/// Prints which device each COM number maps to, by which rule, what the system says about it
/// and whether this user may open it; the process exit code (0).
int RunListPorts(const QString& strProfilePath);
