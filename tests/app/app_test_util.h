#pragma once

// Helpers for driving the view and the frame in tests: a temporary profile and document and a
// scripted file picker; the answerers and the wait come from tests/common.

#include "modal_answerer.h"
#include "wait_until.h"

#include "acquisition/port_map.h"
#include "app/kest_view.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"

#include <QTemporaryDir>

#include <memory>

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
