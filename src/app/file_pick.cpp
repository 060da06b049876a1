#include "app/file_pick.h"

#include <QDir>
#include <QFileDialog>

QString PickFileWithDialog(QWidget* pParent, const SFileRequest& req) {
    QFileDialog dlg(pParent, req.m_strTitle);
    dlg.setAcceptMode(req.m_bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(req.m_bSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setOption(QFileDialog::ReadOnly, false);
    // The filter text names the lower-case pattern only; files written by other systems often
    // carry upper-case extensions, so matching ignores case.
    dlg.setNameFilter(req.m_strFilterName);
    dlg.setFilter(dlg.filter() & ~QDir::CaseSensitive);
    dlg.setDefaultSuffix(req.m_strExtension);
    if (!req.m_strFileName.isEmpty())
        dlg.selectFile(req.m_strFileName);
    if (dlg.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dlg.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
