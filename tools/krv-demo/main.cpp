// krv-demo FOLDER: makes the demo installation in FOLDER (beside the krv executable).
#include "demodata.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    // Pictures are drawn with fonts, which need a platform; none has to be on screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args[1].startsWith('-')) {
        std::fprintf(stderr, "usage: krv-demo FOLDER\nMakes a demo installation (krv.ini, krv.db, Data/) in FOLDER.\n");
        return 2;
    }
    QString error;
    if (!MakeDemoInstallation(args[1], &error)) {
        std::fprintf(stderr, "krv-demo: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("krv-demo: demo installation written to %s\n", qPrintable(args[1]));
    for (const DemoUser& u : kDemoUsers)
        std::printf("  user %-10s password %-9s %s\n", u.name, u.password, u.wizard ? "(wizard)" : "(data entry)");
    return 0;
}
