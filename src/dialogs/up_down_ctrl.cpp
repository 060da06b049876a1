#include "dialogs/up_down_ctrl.h"

#include "dialogs/dialog_text.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

CUpDownCtrl::CUpDownCtrl(QWidget* pParent) : QWidget(pParent) {
    m_pUpButton = new QToolButton(this);
    m_pUpButton->setObjectName(QStringLiteral("up"));
    m_pUpButton->setArrowType(Qt::UpArrow);
    m_pDownButton = new QToolButton(this);
    m_pDownButton->setObjectName(QStringLiteral("down"));
    m_pDownButton->setArrowType(Qt::DownArrow);
    for (QToolButton* pButton : {m_pUpButton, m_pDownButton}) {
        // The arrows are not tab stops; the keyboard reaches them through the buddy's arrow keys.
        pButton->setFocusPolicy(Qt::NoFocus);
        pButton->setAutoRaise(false);
    }
    setFocusPolicy(Qt::NoFocus);
    connect(m_pUpButton, &QToolButton::clicked, this, [this] { StepBy(1); });
    connect(m_pDownButton, &QToolButton::clicked, this, [this] { StepBy(-1); });
}

void CUpDownCtrl::SetBuddy(QLineEdit* pBuddy) {
    if (m_pBuddy != nullptr)
        m_pBuddy->removeEventFilter(this);
    m_pBuddy = pBuddy;
    if (m_pBuddy != nullptr)
        m_pBuddy->installEventFilter(this);
}

void CUpDownCtrl::SetRange(int nLower, int nUpper) {
    m_nLower = std::min(nLower, nUpper);
    m_nUpper = std::max(nLower, nUpper);
    m_nPos = std::clamp(m_nPos, m_nLower, m_nUpper);
}

int CUpDownCtrl::GetPos() const {
    int nPos = m_nPos;
    if (m_pBuddy != nullptr) {
        const QString text = m_pBuddy->text().trimmed();
        // A buddy that shows no number leaves the last known position.
        if (!text.isEmpty() && (text[0].isDigit() || text[0] == u'-' || text[0] == u'+'))
            nPos = TextToInt(text);
    }
    return std::clamp(nPos, m_nLower, m_nUpper);
}

void CUpDownCtrl::StepBy(int nSteps) {
    const int nOld = GetPos();
    const long long nNew =
        std::clamp<long long>(static_cast<long long>(nOld) + nSteps, m_nLower, m_nUpper);
    m_nPos = static_cast<int>(nNew);
    if (m_pBuddy != nullptr && m_pBuddy->text() != QString::number(m_nPos))
        m_pBuddy->setText(QString::number(m_nPos));
}

bool CUpDownCtrl::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pBuddy && pEvent->type() == QEvent::KeyPress) {
        const auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Up || pKey->key() == Qt::Key_Down) {
            StepBy(pKey->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void CUpDownCtrl::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    const int nHalf = height() / 2;
    m_pUpButton->setGeometry(0, 0, width(), nHalf);
    m_pDownButton->setGeometry(0, nHalf, width(), height() - nHalf);
}
