#pragma once

// Answers the modal windows a test provokes: a timer looks for the active modal message box or
// dialog, records what it showed and acts on it from inside its event loop.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

/// What one message box showed.
struct SShownBox {
    QString m_strText;
    QString m_strCaption;
    QMessageBox::Icon m_nIcon = QMessageBox::NoIcon;
    int m_nButtonCount = 0;
};

/// Records every modal message box shown while it lives and presses the chosen button (or
/// rejects the box when it has no such button).
class CBoxAnswerer : public QObject {
public:
    explicit CBoxAnswerer(QMessageBox::StandardButton nAnswer = QMessageBox::Ok)
        : m_nAnswer(nAnswer) {
        connect(&m_Timer, &QTimer::timeout, this, &CBoxAnswerer::Poll);
        m_Timer.start(5);
    }

    QList<SShownBox> m_Boxes;
    QMessageBox::StandardButton m_nAnswer;

    /// The texts of the boxes shown so far, in order.
    QStringList Texts() const {
        QStringList list;
        for (const SShownBox& box : m_Boxes)
            list << box.m_strText;
        return list;
    }

private:
    void Poll() {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (pBox == nullptr || !pBox->isVisible())
            return;
        m_Boxes.append({pBox->text(), pBox->windowTitle(), pBox->icon(),
                        static_cast<int>(pBox->buttons().size())});
        QAbstractButton* pButton = pBox->button(m_nAnswer);
        if (pButton != nullptr)
            pButton->click();
        else
            pBox->reject();
    }

    QTimer m_Timer;
};

/// Runs fnAct on every modal dialog of type T that becomes active while this object lives.
template <typename T> class CDialogAnswerer : public QObject {
public:
    explicit CDialogAnswerer(std::function<void(T*)> fnAct) : m_fnAct(std::move(fnAct)) {
        connect(&m_Timer, &QTimer::timeout, this, [this] {
            auto* pDlg = qobject_cast<T*>(QApplication::activeModalWidget());
            if (pDlg == nullptr || !pDlg->isVisible())
                return;
            ++m_nShown;
            m_fnAct(pDlg);
        });
        m_Timer.start(5);
    }
    int m_nShown = 0;

private:
    std::function<void(T*)> m_fnAct;
    QTimer m_Timer;
};

/// Runs fnAct once, when the modal dialog of type T is active, from inside its event loop.
template <typename T> void WhenModal(std::function<void(T*)> fnAct) {
    auto* pTimer = new QTimer;
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, fnAct] {
        if (auto* pDlg = qobject_cast<T*>(QApplication::activeModalWidget())) {
            pTimer->stop();
            pTimer->deleteLater();
            fnAct(pDlg);
        }
    });
    pTimer->start(5);
}
