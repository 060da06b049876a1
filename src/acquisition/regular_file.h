#pragma once

/// Opens a regular file (links followed) for reading without ever blocking: a named pipe, a
/// device or a directory is refused before it could stall or flood the caller, and the check is
/// repeated on the opened descriptor so a name swapped in between is refused too. Returns the
/// descriptor in blocking mode with close-on-exec set, or -1 (errno tells why).
int OpenRegularFileForReading(const char* pszPath);
