#include "app/main_frame.h"

#include "app/command_ids.h"
#include "app/lock_states.h"
#include "app/kest_view.h"
#include "app/toolbar_icons.h"
#include "app/window_title.h"
#include "app/xkb_locks.h"

#include "dialogs/kest_message_box.h"
#include "dialogs/string_table.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QKeyEvent>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kIdleUpdateMs = 250;
/// Idle updates per reading of the lock states.
constexpr int kIndicatorTicks = 4;

/// Status-bar prompt: the part of the command's string before "\n" (the whole string if none).
QString PromptOf(int nId) {
    const QString str = LoadKestString(nId);
    const qsizetype n = str.indexOf(QLatin1Char('\n'));
    return n < 0 ? str : str.left(n);
}

/// Toolbar tooltip: the part after "\n", empty when the string has none.
QString ToolTipOf(int nId) {
    const QString str = LoadKestString(nId);
    const qsizetype n = str.indexOf(QLatin1Char('\n'));
    return n < 0 ? QString() : str.mid(n + 1);
}

} // namespace

QSize ClientSizeForOuter(QSize sizeOuter, const QMargins& frame) {
    return QSize(std::max(1, sizeOuter.width() - frame.left() - frame.right()),
                 std::max(1, sizeOuter.height() - frame.top() - frame.bottom()));
}

QStringList ManualCandidates(const QString& strExeDir) {
    const QDir dir(strExeDir);
    return {dir.filePath(QStringLiteral("manual.html")),
            dir.filePath(QStringLiteral("docs/manual.html")),
            dir.filePath(QStringLiteral("../docs/manual.html")),
            dir.filePath(QStringLiteral("../share/doc/kest/manual.html"))};
}

CMainFrame::CMainFrame(QWidget* pParent) : QMainWindow(pParent) {
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(MakeAppIcon());
    // Outer sizes; until the window manager has framed the window they apply to the client area,
    // then FitOuterSize takes the frame off.
    resize(kInitialOuterSize);
    setMinimumSize(kMinimumOuterSize);
    setAcceptDrops(true);

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    m_pIdleTimer = new QTimer(this);
    connect(m_pIdleTimer, &QTimer::timeout, this, [this] {
        UpdateCommandUI();
        // Reading the lock states asks the X server and wakes the program for its replies: once
        // a second while the window is active (and at once on a key, see eventFilter), not at
        // all in the background, where an idle logging session should sleep; activation reads
        // them again.
        if (++m_nIdleTicks % kIndicatorTicks == 0 && isActiveWindow())
            UpdateIndicators();
    });
    m_pIdleTimer->start(kIdleUpdateMs);
    qApp->installEventFilter(this);
    UpdateIndicators();
}

void CMainFrame::CreateMenus() {
    // Accelerator items carry their key after a tab, as the menu shows it; the mnemonic follows
    // the key. The text already holding a tab keeps Qt from appending the shortcut again.
    QMenu* pFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    AddCommand(pFile, ID_FILE_OPEN, QStringLiteral("CSVファイルを閲覧用に開く...\tCtrl+O(&O)"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    pFile->addSeparator();
    AddCommand(pFile, ID_FILE_LOGGING, QStringLiteral("ロギング"));
    pFile->addSeparator();
    AddCommand(pFile, ID_FILE_METAFILE, QStringLiteral("メタファイルに出力(&M)..."));
    pFile->addSeparator();
    AddCommand(pFile, ID_FILE_PRINT, QStringLiteral("印刷...\tCtrl+P(&P)"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    AddCommand(pFile, ID_FILE_PRINT_PREVIEW, QStringLiteral("印刷プレビュー(&V)"));
    AddCommand(pFile, ID_FILE_PRINT_SETUP, QStringLiteral("プリンタの設定(&R)..."));
    pFile->addSeparator();
    AddCommand(pFile, ID_APP_EXIT, QStringLiteral("アプリケーションの終了(&X)"));

    QMenu* pSet = menuBar()->addMenu(QStringLiteral("設定(&S)"));
    AddCommand(pSet, ID_SET_CHANNELS, QStringLiteral("チャンネル数(&C)..."));
    AddCommand(pSet, ID_SET_INPUTDATA, QStringLiteral("各チャンネルの属性(&I)..."));
    pSet->addSeparator();
    AddCommand(pSet, ID_SET_HORIZ, QStringLiteral("横軸の設定(&H)..."));
    pSet->addSeparator();
    AddCommand(pSet, ID_SET_COMM, QStringLiteral("COMポートの設定(&M)..."));
    AddCommand(pSet, ID_SET_PUBLISH, QStringLiteral("送信先の設定(&P)..."));
    pSet->addSeparator();
    AddCommand(pSet, ID_SAVE_SETTING, QStringLiteral("設定情報の保存(&S)..."));
    AddCommand(pSet, ID_LOAD_SETTING, QStringLiteral("設定情報の読み込み(&L)..."));

    QMenu* pView = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    AddCommand(pView, ID_VIEW_TOOLBAR, QStringLiteral("ツール バー(&T)"));
    AddCommand(pView, ID_VIEW_STATUS_BAR, QStringLiteral("ステータス バー(&S)"));
    pView->addSeparator();
    AddCommand(pView, ID_VIEW_HOLD, QStringLiteral("グラフ表示のホールド(&H)"));
    AddCommand(pView, ID_VIEW_CURSOR, QStringLiteral("カーソル(&C)"));
    pView->addSeparator();
    AddCommand(pView, ID_VIEW_FOLLOW, QStringLiteral("ファイルの追従(&F)"));
    // &T is the tool bar's already.
    AddCommand(pView, ID_VIEW_STATS, QStringLiteral("統計(&A)..."));

    QMenu* pHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    AddCommand(pHelp, ID_HELP_FINDER, QStringLiteral("KESTのマニュアル(&M)..."));
    pHelp->addSeparator();
    AddCommand(pHelp, ID_APP_ABOUT, QStringLiteral("バージョン情報 KEST(&A)..."));

    for (QMenu* pMenu : {pFile, pSet, pView, pHelp})
        connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    for (int nId : {ID_FILE_LOGGING, ID_VIEW_HOLD, ID_VIEW_CURSOR, ID_VIEW_TOOLBAR,
                    ID_VIEW_STATUS_BAR, ID_VIEW_FOLLOW})
        m_Actions[nId]->setCheckable(true);
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = new QToolBar(QStringLiteral("ツール バー"), this);
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setMovable(true);
    m_pToolBar->setFloatable(true);
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_pToolBar->setIconSize(QSize(16, 15));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_Actions[ID_FILE_OPEN]->setIcon(MakeToolIcon(ICON_Open));
    m_Actions[ID_FILE_PRINT]->setIcon(MakeToolIcon(ICON_Print));
    m_Actions[ID_VIEW_HOLD]->setIcon(MakeToolIcon(ICON_Hold));
    m_Actions[ID_VIEW_CURSOR]->setIcon(MakeToolIcon(ICON_Cursor));
    m_pToolBar->addAction(m_Actions[ID_FILE_OPEN]);
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(m_Actions[ID_FILE_PRINT]);
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(m_Actions[ID_VIEW_HOLD]);
    m_pToolBar->addAction(m_Actions[ID_VIEW_CURSOR]);
    // The menu items carry icons only in the toolbar.
    for (QAction* pAction : m_Actions)
        pAction->setIconVisibleInMenu(false);
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
}

void CMainFrame::CreateStatusBar() {
    m_pIdle = new QLabel(LoadKestString(IDS_IDLE_MESSAGE), this);
    statusBar()->addWidget(m_pIdle, 1);
    // The broker's state while a logging run publishes, left of the lock keys; hidden otherwise.
    m_pBrokerPane = new QLabel(this);
    m_pBrokerPane->setObjectName(QStringLiteral("BrokerPane"));
    m_pBrokerPane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pBrokerPane->hide();
    statusBar()->addPermanentWidget(m_pBrokerPane);
    const int nIndicatorIds[3] = {IDS_INDICATOR_CAPS, IDS_INDICATOR_NUM, IDS_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i) {
        m_pIndicator[i] = new QLabel(this);
        m_pIndicator[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_pIndicator[i]->setAlignment(Qt::AlignCenter);
        m_pIndicator[i]->setMinimumWidth(
            m_pIndicator[i]->fontMetrics().horizontalAdvance(LoadKestString(nIndicatorIds[i])) +
            10);
        statusBar()->addPermanentWidget(m_pIndicator[i]);
    }
}

bool CMainFrame::event(QEvent* pEvent) {
    switch (pEvent->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
        FitOuterSize();
        if (pEvent->type() == QEvent::WindowActivate)
            UpdateIndicators();
        break;
    default:
        break;
    }
    return QMainWindow::event(pEvent);
}

bool CMainFrame::eventFilter(QObject* pObject, QEvent* pEvent) {
    // A lock key pressed in any of the program's windows shows at once.
    if (pEvent->type() == QEvent::KeyRelease) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_CapsLock || nKey == Qt::Key_NumLock || nKey == Qt::Key_ScrollLock)
            QTimer::singleShot(0, this, [this] { UpdateIndicators(); });
    }
    return QMainWindow::eventFilter(pObject, pEvent);
}

void CMainFrame::FitOuterSize() {
    if (m_bOuterSizeFitted || !isVisible())
        return;
    // The frame is known once the window manager has framed the window: the first move after
    // mapping, or at once on platforms that draw no frame of their own.
    const QRect rcFrame = frameGeometry();
    const QRect rcClient = geometry();
    const QMargins frame(rcClient.left() - rcFrame.left(), rcClient.top() - rcFrame.top(),
                         rcFrame.right() - rcClient.right(), rcFrame.bottom() - rcClient.bottom());
    if (frame.isNull())
        return;
    m_bOuterSizeFitted = true;
    setMinimumSize(ClientSizeForOuter(kMinimumOuterSize, frame));
    // A window the user or the window manager has already sized keeps that size.
    if (size() == kInitialOuterSize && windowState() == Qt::WindowNoState)
        resize(ClientSizeForOuter(kInitialOuterSize, frame));
}

QAction* CMainFrame::AddCommand(QMenu* pMenu, int nId, const QString& strText) {
    auto* pAction = new QAction(strText, this);
    pAction->setData(nId);
    pAction->setStatusTip(PromptOf(nId));
    const QString strTip = ToolTipOf(nId);
    if (!strTip.isEmpty())
        pAction->setToolTip(strTip);
    connect(pAction, &QAction::triggered, this, [this, nId] { OnCommand(nId); });
    pMenu->addAction(pAction);
    addAction(pAction); // shortcuts work while the menu bar is hidden too
    m_Actions.insert(nId, pAction);
    return pAction;
}

void CMainFrame::SetView(CkestView* pView) {
    m_pView = pView;
    // The sunken edge around the graph, as the view's client edge.
    auto* pEdge = new QFrame(this);
    pEdge->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* pLayout = new QVBoxLayout(pEdge);
    pLayout->setContentsMargins(pEdge->frameWidth(), pEdge->frameWidth(), pEdge->frameWidth(),
                                pEdge->frameWidth());
    pLayout->addWidget(pView);
    setCentralWidget(pEdge);
    connect(pView, &CkestView::CommandStateChanged, this, &CMainFrame::UpdateCommandUI);
    connect(pView, &CkestView::StatusNotice, this,
            [this](const QString& strText) { statusBar()->showMessage(strText); });
    connect(pView, &CkestView::BrokerStatus, this, [this](const QString& strText) {
        m_pBrokerPane->setText(strText);
        m_pBrokerPane->setVisible(!strText.isEmpty());
    });
    UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI() {
    SCommandFlags f;
    if (m_pView)
        f = m_pView->GetCommandFlags();
    // The bars' own hidden flags: right before the first show as well as after it.
    f.m_bToolBarVisible = !m_pToolBar->isHidden();
    f.m_bStatusBarVisible = !statusBar()->isHidden();
    for (auto it = m_Actions.cbegin(); it != m_Actions.cend(); ++it) {
        QAction* pAction = it.value();
        pAction->setEnabled(IsCommandEnabled(it.key(), f));
        if (pAction->isCheckable())
            pAction->setChecked(IsCommandChecked(it.key(), f));
    }
}

void CMainFrame::OnCommand(int nId) {
    switch (nId) {
    case ID_APP_EXIT:
        close();
        break;
    case ID_VIEW_TOOLBAR:
        m_pToolBar->setVisible(m_pToolBar->isHidden());
        break;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(statusBar()->isHidden());
        break;
    case ID_HELP_FINDER:
        OnHelpFinder();
        break;
    case ID_APP_ABOUT:
        if (m_fnAbout)
            m_fnAbout();
        break;
    case ID_FILE_PRINT_SETUP:
        if (m_fnPrintSetup)
            m_fnPrintSetup();
        break;
    default:
        if (m_pView)
            m_pView->RunCommand(nId);
        break;
    }
    UpdateCommandUI();
}

void CMainFrame::OnHelpFinder() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString strTarget;
    if (!m_strHelpPath.isEmpty() && QFileInfo::exists(m_strHelpPath)) {
        strTarget = m_strHelpPath;
    } else {
        for (const QString& strPath : ManualCandidates(QCoreApplication::applicationDirPath())) {
            if (QFileInfo::exists(strPath)) {
                strTarget = QFileInfo(strPath).canonicalFilePath();
                break;
            }
        }
    }
    const bool bOpened =
        !strTarget.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(strTarget));
    QApplication::restoreOverrideCursor();
    if (!bOpened)
        KestMessageBox(this, IDS_ERR_HELP, EButtons::OK);
}

void CMainFrame::UpdateIndicators() {
    const SLockStates s = ReadDisplayLockStates(&m_LockCache);
    const bool bOn[3] = {s.m_bCaps, s.m_bNum, s.m_bScroll};
    const int nIds[3] = {IDS_INDICATOR_CAPS, IDS_INDICATOR_NUM, IDS_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i)
        m_pIndicator[i]->setText(bOn[i] ? LoadKestString(nIds[i]) : QString());
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
    // Closing never asks: the reader stops and the log reaches the disk.
    if (m_pView)
        m_pView->OnDestroy();
    pEvent->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* pEvent) {
    const QList<QUrl> urls = pEvent->mimeData()->urls();
    if (m_pView && m_pView->IsEnabled(ID_FILE_OPEN) && urls.size() == 1 && urls[0].isLocalFile())
        pEvent->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* pEvent) {
    const QList<QUrl> urls = pEvent->mimeData()->urls();
    if (!m_pView || urls.size() != 1 || !urls[0].isLocalFile())
        return;
    pEvent->acceptProposedAction();
    m_pView->OpenCsvFile(urls[0].toLocalFile());
    UpdateCommandUI();
}
