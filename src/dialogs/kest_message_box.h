#pragma once

#include <QString>

class QWidget;

/// Button sets of a message box.
enum class EButtons { OK, OKCancel };

/// Answers of a message box, as KestMessageBox returns them.
enum : int { IDOK = 1, IDCANCEL = 2 };

/// Shows a modal message box captioned with the application title and the exclamation icon;
/// returns IDOK or IDCANCEL. Esc answers IDCANCEL where there is a Cancel button, IDOK otherwise.
int KestMessageBox(QWidget* pParent, const QString& text, EButtons buttons = EButtons::OK);

/// The same with the text of string nId.
int KestMessageBox(QWidget* pParent, int nId, EButtons buttons = EButtons::OK);
