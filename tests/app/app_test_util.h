#pragma once

// Helpers for driving the view and the frame in tests: a temporary profile and document, a
// scripted file picker, and an answerer that records and closes message boxes.

#include "kest_doc.h"
#include "kest_view.h"
#include "port_map.h"
#include "profile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

/// Records the text of every modal message box and presses the chosen button.
class CBoxAnswerer : public QObject {
public:
    explicit CBoxAnswerer(QMessageBox::StandardButton nAnswer = QMessageBox::Ok)
        : m_nAnswer(nAnswer) {
        connect(&m_Timer, &QTimer::timeout, this, [this] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (pBox == nullptr || !pBox->isVisible())
                return;
            m_Texts << pBox->text();
            if (QAbstractButton* pButton = pBox->button(m_nAnswer))
                pButton->click();
            else
                pBox->reject();
        });
        m_Timer.start(5);
    }
    QStringList m_Texts;
    QMessageBox::StandardButton m_nAnswer;

private:
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

/// Processes events until fnDone returns true or nMs pass; returns fnDone's last answer.
inline bool WaitFor(const std::function<bool()>& fnDone, int nMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!fnDone()) {
        if (timer.elapsed() > nMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

/// A view over a document and a profile in a fresh temporary directory.
struct SViewFixture {
    SViewFixture() {
        m_pProfile = std::make_unique<CProfile>(m_Dir.filePath(QStringLiteral("kest.INI")));
        m_Doc.OnNewDocument();
        m_pView = std::make_unique<CkestView>(&m_Doc, m_pProfile.get(), &m_PortMap);
        m_pView->resize(600, 400);
        m_pView->m_fnPickFile = [this](QWidget*, const SFileRequest& req) {
            m_Requests.append(req);
            return m_strNextPick;
        };
    }
    QString Path(const char* pszName) const { return m_Dir.filePath(QString::fromUtf8(pszName)); }

    QTemporaryDir m_Dir;
    std::unique_ptr<CProfile> m_pProfile;
    CkestDoc m_Doc;
    CPortMap m_PortMap;
    std::unique_ptr<CkestView> m_pView;
    QString m_strNextPick; ///< what the scripted picker answers (empty: the user cancels)
    QList<SFileRequest> m_Requests;
};
