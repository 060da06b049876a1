#pragma once

#include <QDialog>

/// The About box: program icon, name line, version line and OK. Modal, window thread.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};
