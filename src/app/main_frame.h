#pragma once

#include "app/xkb_locks.h"

#include <QHash>
#include <QMainWindow>
#include <QMargins>
#include <QSize>

#include <functional>

class CkestView;
class QAction;
class QLabel;
class QToolBar;
class QTimer;

/// The main window: menus, toolbar, status bar with the lock indicators, and the view inside a
/// sunken frame. Keeps every command's enabled and checked state in step with the view.
/// Window thread only.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* pParent = nullptr);

    /// Puts the view in the client area and routes the view commands to it.
    void SetView(CkestView* pView);
    QAction* GetAction(int nId) const { return m_Actions.value(nId, nullptr); }
    /// Re-evaluates the enablement and check rules for every action.
    void UpdateCommandUI();
    /// Opens the manual: the .CHM beside the executable, else the HTML manual, else message 61703.
    void OnHelpFinder();

    QString m_strHelpPath; ///< the executable's path with ".CHM"
    /// Runs the print setup command; the application installs it.
    std::function<void()> m_fnPrintSetup;
    /// Runs the About command; the application installs it.
    std::function<void()> m_fnAbout;

    /// The frame's first window size and its smallest, both with the window frame.
    static constexpr QSize kInitialOuterSize{630, 440};
    static constexpr QSize kMinimumOuterSize{600, 400};

protected:
    bool event(QEvent* pEvent) override;
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    /// Once the window frame is known, makes the initial and minimum sizes include it.
    void FitOuterSize();
    QAction* AddCommand(QMenu* pMenu, int nId, const QString& strText);
    void OnCommand(int nId);
    void UpdateIndicators();

    CkestView* m_pView = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QHash<int, QAction*> m_Actions;
    QLabel* m_pIdle = nullptr;
    QLabel* m_pIndicator[3] = {};
    QLabel* m_pBrokerPane = nullptr; ///< broker state while logging publishes
    QTimer* m_pIdleTimer = nullptr;
    /// What the lock indicators learned of the X connection.
    SXkbLockCache m_LockCache;
    int m_nIdleTicks = 0;
    bool m_bOuterSizeFitted = false;
};

/// The client size that gives a window of outer size sizeOuter with the given frame margins.
QSize ClientSizeForOuter(QSize sizeOuter, const QMargins& frame);

/// Where the HTML manual is looked for, relative to the executable's directory.
QStringList ManualCandidates(const QString& strExeDir);
