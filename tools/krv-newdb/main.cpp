// krv-newdb PATH: writes a new, empty tunnel database; krv-newdb --report PATH: a new report
// working database (ReportData.db), as a program folder needs beside the program. Never
// overwrites a file.
#include "schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool report = args.size() == 3 && args[1] == QLatin1String("--report");
    const QString path = args.value(report ? 2 : 1);
    if (!(args.size() == 2 || report) || path.startsWith('-')) {
        std::fprintf(stderr, "usage: krv-newdb [--report] PATH\nWrites a new, empty tunnel database at PATH "
                             "(with --report, a report working database).\n");
        return 2;
    }
    QString error;
    if (!(report ? CreateReportDatabase(path, &error) : CreateTunnelDatabase(path, &error))) {
        std::fprintf(stderr, "krv-newdb: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("krv-newdb: wrote %s\n", qPrintable(QFileInfo(path).absoluteFilePath()));
    return 0;
}
