// krv-newdb PATH: writes a new, empty tunnel database. Never overwrites a file.
#include "schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args[1].startsWith('-')) {
        std::fprintf(stderr, "usage: krv-newdb PATH\nWrites a new, empty tunnel database at PATH.\n");
        return 2;
    }
    QString error;
    if (!CreateTunnelDatabase(args[1], &error)) {
        std::fprintf(stderr, "krv-newdb: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("krv-newdb: wrote %s\n", qPrintable(QFileInfo(args[1]).absoluteFilePath()));
    return 0;
}
