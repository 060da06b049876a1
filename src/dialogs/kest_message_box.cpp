#include "dialogs/kest_message_box.h"

#include "dialogs/string_table.h"

#include <QMessageBox>

int KestMessageBox(QWidget* pParent, const QString& text, EButtons buttons) {
    // Standard buttons take their texts from the loaded Qt translation.
    QMessageBox box(QMessageBox::Warning, LoadKestString(IDS_APP_TITLE), text,
                    buttons == EButtons::OKCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                  : QMessageBox::Ok,
                    pParent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons == EButtons::OKCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    const int nResult = box.exec();
    return nResult == QMessageBox::Ok ? IDOK : IDCANCEL;
}

int KestMessageBox(QWidget* pParent, int nId, EButtons buttons) {
    return KestMessageBox(pParent, LoadKestString(nId), buttons);
}
