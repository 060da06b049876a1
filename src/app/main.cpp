// KEST: serial data logger and graph display.
#include "app/kest_app.h"
#include "app/kest_style.h"
#include "app/log_command.h"
#include "app/render.h"

#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    SCommandLine cmd;
    QString strError;
    if (!ParseCommandLine(args, cmd, strError)) {
        std::fprintf(stderr, "kest: %s\n%s", qPrintable(strError), qPrintable(ProgramHelpText()));
        return 2;
    }
    if (cmd.m_bHelp) {
        std::fputs(qPrintable(ProgramHelpText()), stdout);
        return 0;
    }
    if (cmd.m_bVersion) {
        std::fputs(qPrintable(ProgramVersionText()), stdout);
        return 0;
    }
    if (cmd.m_bListPorts || !cmd.m_strLog.isEmpty()) {
        // No window: a Core application opens no display connection, so these commands work
        // over SSH and on machines without any display server.
        QCoreApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        const QString strProfile = ProgramProfilePath(QCoreApplication::applicationFilePath());
        return cmd.m_bListPorts ? RunListPorts(strProfile) : RunLogCommand(cmd, strProfile);
    }
    if (cmd.m_bRender) {
        // Drawing to a file needs no screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        return RunRenderCommand(args, ProgramProfilePath(QCoreApplication::applicationFilePath()));
    }
    if (cmd.m_Files.size() > 1) {
        std::fprintf(stderr, "kest: one CSV file at most\n");
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setStyle(new CKestStyle);
    CkestApp theApp(QCoreApplication::applicationFilePath());
    if (!theApp.InitInstance(cmd.m_Files))
        return 1;
    return app.exec();
}
