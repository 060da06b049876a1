// KEST: serial data logger and graph display.
#include "kest_app.h"
#include "render.h"

#include "profile.h"

#include <QApplication>
#include <QGuiApplication>
#include <clocale>

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (IsRenderCommand(args)) {
        // Drawing to a file needs no screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        return RunRenderCommand(args, ChooseProfilePath(QCoreApplication::applicationFilePath()));
    }

    QApplication app(argc, argv);
    CkestApp theApp(QCoreApplication::applicationFilePath());
    if (!theApp.InitInstance(args))
        return 1;
    return app.exec();
}
