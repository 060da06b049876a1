#pragma once

#include <QString>

#include <cstdint>

class QCommandLineOption;
class QCommandLineParser;
struct SCommandLine;

// The commands that work without a window: `kest --log FILE.csv [--duration S] [--force]` and
// `kest --list-ports`. They need only a QCoreApplication and no display.

const QCommandLineOption& LogOption();
const QCommandLineOption& DurationOption();
const QCommandLineOption& ForceOption();
const QCommandLineOption& ListPortsOption();

/// Takes --log, --duration, --force and --list-ports from parser into out; false with strError
/// set when they are combined wrongly or the duration is not a positive number of seconds.
bool ParseLogOptions(const QCommandLineParser& parser, SCommandLine& out, QString& strError);
/// Seconds (a decimal number above 0, at most a year) as milliseconds; -1 when not valid.
int64_t ParseDurationMs(const QString& strSeconds);

/// Logs from the profile's COM port into the file until SIGINT, SIGTERM, SIGHUP or the end of
/// the duration; the process exit code (see EHeadlessExit).
int RunLogCommand(const SCommandLine& cmd, const QString& strProfilePath);
/// Prints which device each COM number maps to, by which rule, what the system says about it
/// and whether this user may open it; the process exit code (0).
int RunListPorts(const QString& strProfilePath);
