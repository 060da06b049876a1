#include "dialogs/kest_message_box.h"
#include "dialogs/string_table.h"

#include "modal_answerer.h"

#include <QTest>
#include <gtest/gtest.h>

TEST(StringTable, HoldsEveryMessageNumber) {
    for (int nId = 129; nId <= 151; ++nId)
        EXPECT_FALSE(LoadKestString(nId).isEmpty()) << nId;
    for (int nId : {100, 57344, 57345, 59137, 59138, 59139, 61700, 61703})
        EXPECT_TRUE(HasKestString(nId)) << nId;
    for (int nId : {0, 99, 128, 152, 57346, 99999, -1}) {
        EXPECT_FALSE(HasKestString(nId)) << nId;
        EXPECT_TRUE(LoadKestString(nId).isEmpty()) << nId;
    }
}

TEST(KestMessageBox, CaptionIconButtonsAndAnswers) {
    const struct {
        EButtons buttons;
        QMessageBox::StandardButton nClick;
        int nButtonCount;
        int nExpected;
    } cases[] = {
        {EButtons::OK, QMessageBox::Ok, 1, IDOK},
        {EButtons::OKCancel, QMessageBox::Ok, 2, IDOK},
        {EButtons::OKCancel, QMessageBox::Cancel, 2, IDCANCEL},
    };
    for (const auto& c : cases) {
        CBoxAnswerer answerer(c.nClick);
        EXPECT_EQ(KestMessageBox(nullptr, IDS_ERR_RANGE, c.buttons), c.nExpected);
        ASSERT_EQ(answerer.m_Boxes.size(), 1);
        const SShownBox& box = answerer.m_Boxes[0];
        EXPECT_EQ(box.m_strCaption, QStringLiteral("KEST"));
        EXPECT_EQ(box.m_strText, LoadKestString(IDS_ERR_RANGE));
        EXPECT_EQ(box.m_nIcon, QMessageBox::Warning);
        EXPECT_EQ(box.m_nButtonCount, c.nButtonCount);
    }
}

TEST(KestMessageBox, EscapeAnswersCancelOnlyWhereThereIsOne) {
    for (EButtons buttons : {EButtons::OK, EButtons::OKCancel}) {
        QTimer::singleShot(20, [] {
            if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                QTest::keyClick(pBox, Qt::Key_Escape);
        });
        EXPECT_EQ(KestMessageBox(nullptr, QStringLiteral("x"), buttons),
                  buttons == EButtons::OK ? IDOK : IDCANCEL);
    }
}
