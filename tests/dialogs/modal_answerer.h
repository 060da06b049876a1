#pragma once

// Answers the message boxes a dialog opens while a test drives it: a timer looks for the active
// modal message box, records what it showed and clicks the chosen button.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

struct SShownBox {
    QString m_strText;
    QString m_strCaption;
    QMessageBox::Icon m_nIcon = QMessageBox::NoIcon;
    int m_nButtonCount = 0;
};

class CModalAnswerer : public QObject {
public:
    explicit CModalAnswerer(QMessageBox::StandardButton nAnswer = QMessageBox::Ok)
        : m_nAnswer(nAnswer) {
        connect(&m_Timer, &QTimer::timeout, this, &CModalAnswerer::Poll);
        m_Timer.start(5);
    }

    QList<SShownBox> m_Boxes;
    QMessageBox::StandardButton m_nAnswer;

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

/// Runs fnAct once the modal dialog of type T is active, from inside its event loop.
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
