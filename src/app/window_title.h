#pragma once

#include <QString>

/// The application title: main window caption and message-box caption.
inline constexpr const char* kAppTitle = "KEST";

/// Main window caption for a file path: "KEST" for a null or empty path, otherwise
/// "KEST-<file name with extension>". Both '/' and '\\' end a directory, and a leading drive
/// ("D:") is dropped, so paths typed on either platform give the same caption.
QString MakeWindowTitle(const QString& strPath);
