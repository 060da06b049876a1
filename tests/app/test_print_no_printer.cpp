// Printing on a machine without any printer: the print system is pointed at a server that does
// not exist before anything asks it, so there are no queues.
#include "app_test_util.h"

#include "app/command_ids.h"
#include "app/kest_app.h"
#include "app/printer_selection.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPrinterInfo>
#include <cstdlib>

namespace {

const bool g_bNoServer = [] {
    return setenv("CUPS_SERVER", "/nonexistent/kest-no-cups.sock", 1) == 0;
}();

TEST(NoPrinter, NothingRestoredNothingSavedAndTheUserIsTold) {
    ASSERT_TRUE(g_bNoServer);
    ASSERT_TRUE(QPrinterInfo::availablePrinterNames().isEmpty());

    SViewFixture fx;
    CPrinterSelection sel;
    fx.m_pView->m_pPrinterSel = &sel;
    QFile ini(fx.m_pProfile->GetPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    const QByteArray profile = "[PrinterSetup]\r\nDriver=CUPS\r\nDevice=\r\nOutput=\r\n"
                               "Orientation=2\r\nPaperSize=9\r\n";
    ini.write(profile);
    ini.close();

    sel.RestorePrinterSetup(*fx.m_pProfile);
    EXPECT_EQ(sel.GetPrinter(), nullptr);
    sel.SavePrinterSetup(*fx.m_pProfile);

    for (const int nId : {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_DIRECT}) {
        SCOPED_TRACE(nId);
        CBoxAnswerer box;
        ASSERT_TRUE(fx.m_pView->RunCommand(nId));
        ASSERT_EQ(box.Texts().size(), 1);
        EXPECT_TRUE(box.Texts()[0].contains(QStringLiteral("プリンタがインストールされていない")))
            << qPrintable(box.Texts()[0]);
    }
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), profile) << "nothing is written without a printer";
}

TEST(NoPrinter, SetupCommandTellsTheUser) {
    QTemporaryDir dir;
    CkestApp app(dir.filePath(QStringLiteral("kest")));
    ASSERT_TRUE(app.InitInstance({}));
    CBoxAnswerer box;
    app.OnFilePrintSetup();
    ASSERT_EQ(box.Texts().size(), 1);
    EXPECT_TRUE(box.Texts()[0].contains(QStringLiteral("プリンタがインストールされていない")));
    EXPECT_FALSE(QFile::exists(app.m_strIniPath));
}

} // namespace
