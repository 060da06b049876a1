#pragma once

#include "settings/stats_table.h"

#include <QDialog>
#include <QString>

#include <vector>

class QLabel;
class QTableWidget;

/// The modeless statistics window: one row per active channel with the figures over the range
/// the view chose. Owned by the view, which refills it after each paint while it is shown;
/// window thread only.
class CStatsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CStatsDlg(QWidget* pParent = nullptr);

    /// Shows rows and the range line; cells whose text did not change are left alone, so an
    /// unchanged table costs no repaint.
    void SetRows(const std::vector<SStatsRow>& rows, const QString& strRange);
    /// The table as the clipboard gets it: the header row, then one row per channel, cells
    /// separated by tabs, lines ended by LF.
    QString TableText() const;
    /// Puts TableText() on the clipboard.
    void OnCopy();

    QLabel* m_pRange = nullptr;
    QTableWidget* m_pTable = nullptr;

private:
    void SetCell(int nRow, int nColumn, const QString& strText);
};
