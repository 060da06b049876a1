#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

/// Up-down arrows bound to a buddy edit: each step reads the position from the edit's text,
/// moves it by one within the range (no wrap-around) and writes it back as a decimal integer.
/// The buddy's Up and Down keys step too. Lives in a dialog, window thread only.
class CUpDownCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CUpDownCtrl(QWidget* pParent = nullptr);

    void SetBuddy(QLineEdit* pBuddy);
    void SetRange(int nLower, int nUpper);
    /// Position as the buddy's text shows it, limited to the range.
    int GetPos() const;
    /// Moves by nSteps (positive: up) and writes the buddy when the position changes.
    void StepBy(int nSteps);

    QToolButton* m_pUpButton = nullptr;
    QToolButton* m_pDownButton = nullptr;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    QLineEdit* m_pBuddy = nullptr;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
};
