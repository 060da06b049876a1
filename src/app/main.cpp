// KEST: serial data logger and graph display.
#include "app/command_line.h"
#include "app/kest_app.h"
#include "app/kest_style.h"
#include "app/kest_view.h"
#include "app/log_command.h"
#include "app/render.h"
#include "app/stats_command.h"

#include "settings/profile_store.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

/// The application object a command needs: no display connection for the headless commands,
/// no screen for a picture, widgets for the window.
std::unique_ptr<QCoreApplication> MakeApplication(ECommand nCommand, int& argc, char** argv) {
    switch (nCommand) {
    case ECommand::ListPorts:
    case ECommand::Log:
    case ECommand::Stats:
        // A Core application opens no display connection, so these commands work over SSH and
        // on machines without any display server.
        return std::make_unique<QCoreApplication>(argc, argv);
    case ECommand::Render:
        // Drawing to a file needs no screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    default:
        return std::make_unique<QApplication>(argc, argv);
    }
}

/// The view whose log must be drained should the process end through exit() while the window
/// runs: the X11 platform ends the program that way when the display connection is lost.
CkestView* g_pExitView = nullptr;

void DrainLogAtExit() {
    if (g_pExitView != nullptr)
        g_pExitView->OnDestroy();
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    SCommandLine cmd;
    SUsageError error;
    if (!ParseCommandLine(args, cmd, error)) {
        std::fprintf(stderr, "kest: %s\n%s", qPrintable(error.m_strText),
                     error.m_bWithHelp ? qPrintable(ProgramHelpText()) : "");
        return 2;
    }
    if (cmd.m_nCommand == ECommand::Help) {
        std::fputs(qPrintable(ProgramHelpText()), stdout);
        return 0;
    }
    if (cmd.m_nCommand == ECommand::Version) {
        std::fputs(qPrintable(ProgramVersionText()), stdout);
        return 0;
    }

    const std::unique_ptr<QCoreApplication> pApp = MakeApplication(cmd.m_nCommand, argc, argv);
    // Building the application set the locale from the environment; the files and texts the
    // program reads and writes always use the C number format.
    std::setlocale(LC_NUMERIC, "C");
    const QString strExePath = QCoreApplication::applicationFilePath();
    switch (cmd.m_nCommand) {
    case ECommand::ListPorts:
        return RunListPorts(ProgramProfilePath(strExePath));
    case ECommand::Log:
        return RunLogCommand(cmd.m_Log, ProgramProfilePath(strExePath));
    case ECommand::Render:
        return RunRenderCommand(cmd.m_Render, ProgramProfilePath(strExePath));
    case ECommand::Stats:
        return RunStatsCommand(cmd.m_Stats, ProgramProfilePath(strExePath));
    default:
        break;
    }

    QApplication::setStyle(new CKestStyle);
    CkestApp theApp(strExePath);
    if (!theApp.InitInstance(cmd.m_Files, cmd.m_bFollow))
        return 1;
    g_pExitView = theApp.m_pView;
    std::atexit(DrainLogAtExit);
    const int nExit = QCoreApplication::exec();
    g_pExitView = nullptr;
    return nExit;
}
