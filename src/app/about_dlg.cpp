#include "app/about_dlg.h"

#include "app/toolbar_icons.h"
#include "dialogs/dialog_units.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));
    const CDialogUnits du =
        SetUpDialogTemplate(this, QStringLiteral("バージョン情報 KEST"), 222, 69);

    // Template order: icon, the two lines of text, OK.
    auto* pIcon = new QLabel(this);
    pIcon->setObjectName(QStringLiteral("IDR_MAINFRAME"));
    PlaceControl(du, pIcon, 11, 17, 21, 20);
    pIcon->setPixmap(MakeAppIcon().pixmap(QSize(32, 32).boundedTo(pIcon->size())));
    pIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* pName = new QLabel(QStringLiteral("CSVデータをグラフ表示する KEST"), this);
    PlaceControl(du, pName, 40, 17, 120, 10);
    auto* pVersion = new QLabel(QStringLiteral("Version 1.04"), this);
    PlaceControl(du, pVersion, 40, 32, 120, 10);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setObjectName(QStringLiteral("IDOK"));
    pOk->setDefault(true);
    PlaceControl(du, pOk, 165, 7, 50, 14);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}
