#pragma once

#include <QString>
#include <functional>

class QWidget;

/// What a command asks of a file dialog.
struct SFileRequest {
    bool m_bSave = false;    ///< save dialog (asks before overwriting) or open dialog
    QString m_strTitle;      ///< dialog caption
    QString m_strFilterName; ///< shown filter text, e.g. "CSV file(*.csv)"
    QString m_strExtension;  ///< matched in either case, added when the user types none
    QString m_strFileName;   ///< name proposed in the dialog (empty: none)
};

/// Picks a file for a command; returns an empty string when the user cancels.
using FnPickFile = std::function<QString(QWidget* pParent, const SFileRequest& req)>;

/// The production picker: a modal QFileDialog owned by pParent.
QString PickFileWithDialog(QWidget* pParent, const SFileRequest& req);
