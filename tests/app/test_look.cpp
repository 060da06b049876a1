// The program's look where it differs from the plain widget style: menu check marks, drop-down
// lists, the About box from its template, the frame's outer sizes and the accelerator items.
#include "app/about_dlg.h"
#include "app/command_ids.h"
#include "app/kest_style.h"
#include "app/main_frame.h"
#include "dialogs/dialog_units.h"
#include "dialogs/set_comm_dlg.h"

#include "wait_until.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

/// The style main() installs, once for this test program.
void UseProgramStyle() {
    static const bool bInstalled = [] {
        QApplication::setStyle(new CKestStyle);
        return true;
    }();
    (void)bInstalled;
}

QMenu* MenuOf(const QAction* pAction) {
    for (QObject* pObject : pAction->associatedObjects())
        if (auto* pMenu = qobject_cast<QMenu*>(pObject))
            return pMenu;
    return nullptr;
}

/// Pixels of rc that differ clearly from the colour at ptBackground.
int InkPixels(const QImage& img, const QRect& rc, QPoint ptBackground) {
    const QColor crBack = img.pixelColor(ptBackground);
    int nInk = 0;
    for (int y = rc.top(); y <= rc.bottom(); ++y) {
        for (int x = rc.left(); x <= rc.right(); ++x) {
            const QColor cr = img.pixelColor(x, y);
            if (std::abs(cr.red() - crBack.red()) + std::abs(cr.green() - crBack.green()) +
                    std::abs(cr.blue() - crBack.blue()) >
                60)
                ++nInk;
        }
    }
    return nInk;
}

} // namespace

TEST(ProgramLook, CheckableMenuItemsShowAMarkOnlyWhenChecked) {
    UseProgramStyle();
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.GetAction(ID_VIEW_STATUS_BAR)->trigger(); // hidden: its item unchecked

    QMenu* pMenu = MenuOf(frame.GetAction(ID_VIEW_TOOLBAR));
    ASSERT_NE(pMenu, nullptr);
    pMenu->popup(frame.mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pMenu));
    pMenu->setActiveAction(nullptr);
    const QImage img = pMenu->grab().toImage();

    struct SCase {
        int nId;
        bool bChecked;
        bool bEnabled;
    };
    // No view: the cursors count as shown, logging as off, so the hold item is grey.
    const SCase cases[] = {
        {ID_VIEW_TOOLBAR, true, true},
        {ID_VIEW_STATUS_BAR, false, true},
        {ID_VIEW_HOLD, false, false},
        {ID_VIEW_CURSOR, true, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nId);
        QAction* pAction = frame.GetAction(c.nId);
        ASSERT_EQ(pAction->isChecked(), c.bChecked);
        ASSERT_EQ(pAction->isEnabled(), c.bEnabled);
        // The mark's column: the item's left end, as wide as the item is high.
        const QRect rcItem = pMenu->actionGeometry(pAction);
        const QRect rcMark(rcItem.left() + 2, rcItem.top() + 1, rcItem.height(),
                           rcItem.height() - 2);
        const int nInk = InkPixels(img, rcMark, QPoint(rcItem.left() + 1, rcItem.center().y()));
        if (c.bChecked)
            EXPECT_GE(nInk, 12) << "a checked item shows its mark";
        else
            EXPECT_EQ(nInk, 0) << "an unchecked item shows no box";
    }
    pMenu->close();
}

TEST(ProgramLook, DropDownListsScrollBelowTheirBox) {
    UseProgramStyle();
    CSetCommDlg dlg;
    dlg.m_nPort = 1;
    dlg.m_nBaudRate = 9600;
    dlg.m_nByteSize = 8;
    dlg.m_nParity = 0;
    dlg.m_nStopBits = 0;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));

    struct SCase {
        const char* pszName;
        int nVisibleRows; // the template's list height in rows
        bool bScrolls;
    };
    const SCase cases[] = {
        {"IDC_COMBO_PORT", 9, true},      // 32 ports
        {"IDC_COMBO_BAUD", 7, true},      // 11 rates
        {"IDC_COMBO_BYTESIZE", 3, false}, // all three
        {"IDC_COMBO_PARITY", 3, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        auto* pCombo = dlg.findChild<QComboBox*>(QString::fromLatin1(c.pszName));
        ASSERT_NE(pCombo, nullptr);
        pCombo->showPopup();
        QAbstractItemView* pList = pCombo->view();
        ASSERT_TRUE(WaitUntil([&] { return pList->isVisible(); }));
        QApplication::processEvents();
        const int nRow = pList->sizeHintForRow(0);
        ASSERT_GT(nRow, 0);
        EXPECT_EQ(pList->viewport()->height() / nRow, c.nVisibleRows);
        EXPECT_EQ(pList->verticalScrollBar()->maximum() > 0, c.bScrolls);
        // Below the box, not laid over it with the current item at the box.
        const int nBoxBottom = pCombo->mapToGlobal(QPoint(0, pCombo->height())).y();
        EXPECT_GE(pList->window()->geometry().top(), nBoxBottom - 1);
        pCombo->hidePopup();
    }
}

TEST(ProgramLook, AboutBoxIsLaidOutFromItsTemplate) {
    CAboutDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const CDialogUnits du(dlg.font());
    EXPECT_EQ(dlg.size(), du.ToPixels(222, 69));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()) << "fixed size";
    QStringList texts;
    for (QWidget* pChild : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(dlg.rect().contains(pChild->geometry())) << pChild->objectName().toStdString();
        const QFontMetrics fm(pChild->font());
        if (auto* pLabel = qobject_cast<QLabel*>(pChild); pLabel && !pLabel->text().isEmpty()) {
            texts << pLabel->text();
            EXPECT_LE(fm.horizontalAdvance(pLabel->text()), pLabel->contentsRect().width())
                << pLabel->text().toStdString();
            EXPECT_LE(fm.height(), pLabel->height());
        }
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("CSVデータをグラフ表示する KEST"),
                                  QStringLiteral("Version 1.04")}));
    auto* pOk = dlg.findChild<QPushButton*>(QStringLiteral("IDOK"));
    ASSERT_NE(pOk, nullptr);
    EXPECT_TRUE(pOk->isDefault());
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(ProgramLook, FrameSizesIncludeTheWindowFrame) {
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    // The offscreen platform gives windows a thin frame, so the outer and inner sizes differ.
    ASSERT_TRUE(WaitUntil([&] { return frame.frameGeometry().size() != frame.size(); }));
    EXPECT_EQ(frame.frameGeometry().size(), QSize(630, 440));
    frame.resize(10, 10);
    QApplication::processEvents();
    EXPECT_EQ(frame.frameGeometry().size(), QSize(600, 400)) << "dragged smaller, it stops here";
}

TEST(ProgramLook, AcceleratorItemsTakeTheirMnemonicAndTheirKey) {
    struct SCase {
        int nId;
        Qt::Key key;
    };
    const SCase cases[] = {{ID_FILE_OPEN, Qt::Key_O}, {ID_FILE_PRINT, Qt::Key_P}};
    CMainFrame frame;
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.nId);
        QAction* pAction = frame.GetAction(c.nId);
        // The key stands after the tab, so the menu shows it once, at the right.
        const QString strText = pAction->text();
        ASSERT_TRUE(strText.contains(QLatin1Char('\t')));
        EXPECT_TRUE(strText.section(QLatin1Char('\t'), 1)
                        .startsWith(pAction->shortcut().toString(QKeySequence::NativeText)));
        QSignalSpy spy(pAction, &QAction::triggered);

        // The mnemonic letter written after the key still picks the item in the open menu.
        QMenu* pMenu = MenuOf(pAction);
        ASSERT_NE(pMenu, nullptr);
        pMenu->popup(frame.mapToGlobal(QPoint(20, 20)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(pMenu));
        QTest::keyClick(pMenu, c.key);
        EXPECT_TRUE(WaitUntil([&] { return spy.count() == 1; }));
        EXPECT_FALSE(pMenu->isVisible());

        QTest::keyClick(&frame, c.key, Qt::ControlModifier);
        EXPECT_TRUE(WaitUntil([&] { return spy.count() == 2; }));
    }
}
