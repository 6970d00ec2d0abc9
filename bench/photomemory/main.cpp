// Peak memory (VmHWM) of the photo viewer opening one photo: a 12-megapixel phone photo and a
// 200-megapixel one, both JPEG. Each opening runs in a child of this program with nothing
// else in it, so each peak is that opening's alone; the child opens the viewer on a new
// installation, shows it at 100 %, waits for the detail of the part on screen, scrolls to the
// far corner and waits again, and prints its peak and the time all that took (the waits
// included). A third child opens a 0.3-megapixel photo: what the program takes with any photo
// at all. The test photos are flat grey JPEGs written directly (a few MB at 200 megapixels);
// `bench_photomemory --open PHOTO` runs one child on a photo of your own and prints its line:
// peak KB, milliseconds, natural size, size held.
//
// Goal: the 200-megapixel photo's peak at most 1.5 times the 12-megapixel one's.

#include "fixtures.h"
#include "forms.h"
#include "frmImages.h"
#include "modkrv.h"
#include "picturebomb.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

qint64 peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Child: open the viewer on the photo, show it whole at 100 %, scroll to the far corner.
int openPhoto(const QString& source)
{
    TestInstall install;
    ScriptedPrompt prompt;
    FixtureSystem();
    const qint32 tunnel = FixtureTunnel(QStringLiteral("North Bore"));
    const qint32 period = FixturePeriod(tunnel, 2024);
    FixtureElement(7, QStringLiteral("Liner"));
    const qint32 panel = qint32(gConn.insertAutoNumber(
        QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                   {QStringLiteral("PanelNum"), 1},
                                   {QStringLiteral("PanelName"), QStringLiteral("P-1")}}));
    const QString folder = GetPhotoFolder(tunnel, period);
    MakeFolderTree(folder);
    if (!QFile::copy(source, folder + QStringLiteral("photo.jpg")))
        return 2;
    FixturePicture(panel, 7, period, QStringLiteral("photo.jpg"), false, QStringLiteral("crack"));

    QElapsedTimer timer;
    timer.start();
    auto* viewer = new frmImages;
    viewer->LoadForm(0, false, panel, 7, period);
    if (!viewer->isVisible() || viewer->mapContainer->Picture().isNull())
        return 3;
    // Shown, and shown in detail where it is held scaled down.
    auto settle = [&] {
        viewer->grab();
        QTRY_VERIFY_WITH_TIMEOUT(viewer->mapContainer->DetailShown(), 60000);
        viewer->grab();
    };
    settle();
    for (QScrollBar* bar : viewer->mapContainer->findChildren<QScrollBar*>())
        bar->setValue(bar->maximum());
    settle();
    const qint64 ms = timer.elapsed();
    const QSize natural = viewer->mapContainer->PictureSize();
    const QSize held = viewer->mapContainer->Picture().size();
    std::printf("%lld %lld %dx%d %dx%d\n", peakKb(), ms, natural.width(), natural.height(), held.width(),
                held.height());
    delete viewer;
    return 0;
}

struct Run {
    qint64 kb = -1, ms = -1;
    QString natural, held;
};

Run child(const QString& self, const QString& photo)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(self, {QStringLiteral("--open"), photo});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "child failed on %s: %s\n", qPrintable(photo), p.readAllStandardError().constData());
        return {};
    }
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    return {f.value(0).toLongLong(), f.value(1).toLongLong(), QString::fromLatin1(f.value(2)),
            QString::fromLatin1(f.value(3))};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--open") {
        QApplication app(argc, argv);
        return openPhoto(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const struct {
        const char* name;
        int w, h;
    } photos[] = {{"0.3 MP (any photo)", 640, 480}, {"12 MP", 4000, 3000}, {"200 MP", 16320, 12240}};
    Run runs[3];
    std::printf("Photo viewer, peak memory of opening one photo (VmHWM of a child each)\n");
    for (int i = 0; i < 3; ++i) {
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        if (!WriteFlatJpeg(path, photos[i].w, photos[i].h)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        runs[i] = child(QCoreApplication::applicationFilePath(), path);
        if (runs[i].kb < 0)
            return 1;
        std::printf("  %-20s %8.1f MB peak  %6lld ms  natural %s, held %s\n", photos[i].name, runs[i].kb / 1024.0,
                    runs[i].ms, qPrintable(runs[i].natural), qPrintable(runs[i].held));
    }
    const double ratio = double(runs[2].kb) / double(runs[1].kb);
    std::printf("Ratio 200 MP / 12 MP: %.2f (goal <= 1.5)\n", ratio);
    if (ratio <= 1.5)
        std::printf("Goals met\n");
    else
        std::printf("Goal not met: the 200 MP photo's peak is %.2f times the 12 MP one's\n", ratio);
    return 0;
}
