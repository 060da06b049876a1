#include "app/about_dlg.h"

#include "app/toolbar_icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("バージョン情報 KEST"));
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));

    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(MakeAppIcon().pixmap(32, 32));
    pIcon->setAlignment(Qt::AlignTop);

    auto* pName = new QLabel(QStringLiteral("CSVデータをグラフ表示する KEST"), this);
    auto* pVersion = new QLabel(QStringLiteral("Version 1.04"), this);
    auto* pTexts = new QVBoxLayout;
    pTexts->addWidget(pName);
    pTexts->addWidget(pVersion);
    pTexts->addStretch(1);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(pOk);
    pButtons->addStretch(1);

    auto* pLayout = new QHBoxLayout(this);
    pLayout->addWidget(pIcon);
    pLayout->addSpacing(8);
    pLayout->addLayout(pTexts, 1);
    pLayout->addLayout(pButtons);
    setFixedSize(sizeHint());
}
