#include "dialogs/stats_dlg.h"

#include "dialogs/string_table.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Channel, name and unit come before the figures.
constexpr int kLeadColumns = 3;

} // namespace

CStatsDlg::CStatsDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(LoadKestString(IDS_STATS_TITLE));
    setModal(false);
    const QStringList headers = LoadKestString(IDS_STATS_HEADERS).split(QLatin1Char('\t'));
    m_pRange = new QLabel(this);
    m_pTable = new QTableWidget(0, static_cast<int>(headers.size()), this);
    m_pTable->setHorizontalHeaderLabels(headers);
    m_pTable->verticalHeader()->hide();
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* pCopy = new QPushButton(LoadKestString(IDS_STATS_COPY), this);
    auto* pClose = new QPushButton(LoadKestString(IDS_STATS_CLOSE), this);
    connect(pCopy, &QPushButton::clicked, this, &CStatsDlg::OnCopy);
    connect(pClose, &QPushButton::clicked, this, &QDialog::close);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch();
    pButtons->addWidget(pCopy);
    pButtons->addWidget(pClose);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pRange);
    pLayout->addWidget(m_pTable);
    pLayout->addLayout(pButtons);
    resize(900, 300);
}

void CStatsDlg::SetCell(int nRow, int nColumn, const QString& strText) {
    QTableWidgetItem* pItem = m_pTable->item(nRow, nColumn);
    if (!pItem) {
        pItem = new QTableWidgetItem(strText);
        // Figures read best right-aligned, like a spreadsheet's numbers.
        if (nColumn >= kLeadColumns)
            pItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_pTable->setItem(nRow, nColumn, pItem);
    } else if (pItem->text() != strText) {
        pItem->setText(strText);
    }
}

void CStatsDlg::SetRows(const std::vector<SStatsRow>& rows, const QString& strRange) {
    if (m_pRange->text() != strRange)
        m_pRange->setText(strRange);
    const int nRows = static_cast<int>(rows.size());
    if (m_pTable->rowCount() != nRows)
        m_pTable->setRowCount(nRows);
    for (int i = 0; i < nRows; ++i) {
        const SStatsRow& row = rows[static_cast<size_t>(i)];
        SetCell(i, 0, QStringLiteral("CH%1").arg(row.m_nChannel + 1));
        SetCell(i, 1, QString::fromUtf8(row.m_strName));
        SetCell(i, 2, QString::fromUtf8(row.m_strUnit));
        const std::vector<QByteArray> texts = StatsRowTexts(row);
        for (int c = 0; c < kStatsColumns; ++c)
            SetCell(i, kLeadColumns + c, QString::fromUtf8(texts[static_cast<size_t>(c)]));
    }
}

QString CStatsDlg::TableText() const {
    QString strText = LoadKestString(IDS_STATS_HEADERS) + QLatin1Char('\n');
    for (int r = 0; r < m_pTable->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_pTable->columnCount(); ++c) {
            const QTableWidgetItem* pItem = m_pTable->item(r, c);
            // A tab or line end inside a name would shift the pasted columns.
            QString strCell = pItem ? pItem->text() : QString();
            strCell.replace(QLatin1Char('\t'), QLatin1Char(' '));
            strCell.replace(QLatin1Char('\n'), QLatin1Char(' '));
            strCell.replace(QLatin1Char('\r'), QLatin1Char(' '));
            cells << strCell;
        }
        strText += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return strText;
}

void CStatsDlg::OnCopy() {
    QGuiApplication::clipboard()->setText(TableText());
}
