// The folder synchroniser, set up as the field synchronisation screen sets it up (subfolders,
// missing subfolders made, hidden files, only newer files, a shown report grid), against
// `rsync -r -t -u --no-links` on an identical copy of the same trees. Two trees: 30,000 media
// files of 1.5 GB (20 tunnels x 5 years x photo, video, sketch) and 100,000 tiny files, both
// scaled by the first argument (1 = full size). Three cases per tree: the first copy into an
// empty folder, a run with nothing changed, and a run after 1 % of the files changed. The two
// tools take turns three times; the medians, their ratios and whether both left the same
// files, sizes and times are printed, then "goals met" or the goals not met.
//
// Usage: bench_foldersync [scale]   (rsync is optional: without it only FolderSync is timed)

#include "FolderSync.h"
#include "SortedList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRounds = 3;
constexpr double kGoalRatio = 2.0;
constexpr double kGoalSortSeconds = 0.2;
constexpr time_t kBaseTime = 1600000000;  // 2020-09-13: the trees' original times

struct FileSpec {
    QByteArray path;  // relative to the tree's top
    qint64 size;
};

// Deterministic content: the same bytes for both copies of a tree and for every round.
void fillBytes(QByteArray& buf, quint64 seed)
{
    quint64 x = seed * 0x9E3779B97F4A7C15ULL + 1;
    auto* p = reinterpret_cast<unsigned char*>(buf.data());
    qsizetype i = 0;
    for (; i + 8 <= buf.size(); i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(p + i, &x, 8);
    }
    for (; i < buf.size(); ++i)
        p[i] = static_cast<unsigned char>(x >> (i % 8));
}

void writeFile(const QByteArray& path, const QByteArray& data, time_t mtime)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        qFatal("cannot write %s: %s", path.constData(), std::strerror(errno));
    if (::write(fd, data.constData(), size_t(data.size())) != data.size())
        qFatal("short write %s", path.constData());
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ::futimens(fd, times);
    ::close(fd);
}

std::vector<FileSpec> mediaTree(double scale)
{
    std::vector<FileSpec> files;
    const int perFolder = std::max(1, int(100 * scale + 0.5));
    const char* kinds[] = {"photo", "video", "sketch"};
    const qint64 sizes[] = {40 * 1024, 100 * 1024, 10 * 1024};  // 50 KB on average
    for (int t = 1; t <= 20; ++t) {
        for (int y = 2016; y <= 2020; ++y) {
            for (int k = 0; k < 3; ++k) {
                for (int i = 1; i <= perFolder; ++i) {
                    const QByteArray dir = QStringLiteral("Tunnel %1/%2/%3/").arg(t, 2, 10, QChar('0')).arg(y).arg(kinds[k]).toUtf8();
                    const char* ext[] = {".jpg", ".avi", ".bmp"};
                    files.push_back({dir + QStringLiteral("IMG_%1").arg(i, 4, 10, QChar('0')).toUtf8() + ext[k],
                                     sizes[k] + (i * 37) % 1024});
                }
            }
        }
    }
    return files;
}

std::vector<FileSpec> tinyTree(double scale)
{
    std::vector<FileSpec> files;
    const int perFolder = std::max(1, int(1000 * scale + 0.5));
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            for (int i = 0; i < perFolder; ++i)
                files.push_back({QStringLiteral("part%1/sub%2/note_%3.txt").arg(a).arg(b).arg(i, 5, 10, QChar('0')).toUtf8(),
                                 qint64(20 + (i * 7) % 200)});
    return files;
}

void buildTree(const QByteArray& top, const std::vector<FileSpec>& files)
{
    QByteArray buf;
    for (size_t n = 0; n < files.size(); ++n) {
        const QByteArray path = top + '/' + files[n].path;
        QDir().mkpath(QFile::decodeName(path.left(path.lastIndexOf('/'))));
        buf.resize(files[n].size);
        fillBytes(buf, n);
        writeFile(path, buf, kBaseTime + time_t(n % 86400));
    }
}

// Round r rewrites one file in a hundred, the same ones in both copies, with a newer time.
int changeOnePercent(const QByteArray& top, const std::vector<FileSpec>& files, int round)
{
    QByteArray buf;
    int changed = 0;
    for (size_t n = size_t(round); n < files.size(); n += 100) {
        buf.resize(files[n].size + round);
        fillBytes(buf, n * 1000 + size_t(round));
        writeFile(top + '/' + files[n].path, buf, kBaseTime + 100000 * round + time_t(n % 1000));
        ++changed;
    }
    return changed;
}

// Every file under a folder with its size and modification time (nanoseconds).
void listTree(const QByteArray& top, const QByteArray& rel, std::map<QByteArray, std::pair<qint64, qint64>>& out)
{
    QDir dir(QFile::decodeName(top + rel));
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries) {
        const QByteArray name = rel + QFile::encodeName(fi.fileName());
        if (fi.isDir()) {
            listTree(top, name + '/', out);
            continue;
        }
        struct stat st {};
        ::lstat((top + name).constData(), &st);
        out[name] = {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    }
}

bool sameTrees(const QByteArray& a, const QByteArray& b)
{
    std::map<QByteArray, std::pair<qint64, qint64>> la, lb;
    listTree(a, "/", la);
    listTree(b, "/", lb);
    return la == lb;
}

void emptyFolder(const QByteArray& path)
{
    QDir(QFile::decodeName(path)).removeRecursively();
    QDir().mkpath(QFile::decodeName(path));
}

double runFolderSync(QTableWidget& grid, const QByteArray& from, const QByteArray& to)
{
    ::sync();  // each run starts with nothing left to write back
    FolderSync sync;
    sync.setCopyIfMissing(true);
    sync.setOverwriteAll(false);
    sync.setIncludeSubFolders(true);
    sync.setCreateSubFolders(true);
    sync.setReportGrid(&grid);
    sync.setIncludeNormalFiles(true);
    sync.setIncludeHiddenFiles(true);
    QElapsedTimer t;
    t.start();
    sync.setFromFolder(QFile::decodeName(from));
    sync.setToFolder(QFile::decodeName(to));
    if (!sync.syncFoldersNow())
        qFatal("FolderSync did not complete");
    return t.nsecsElapsed() / 1e9;
}

double runRsync(const QString& rsync, const QByteArray& from, const QByteArray& to)
{
    ::sync();
    QElapsedTimer t;
    t.start();
    const int rc = QProcess::execute(rsync, {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("-u"),
                                             QStringLiteral("--no-links"), QFile::decodeName(from) + '/',
                                             QFile::decodeName(to) + '/'});
    if (rc != 0)
        qFatal("rsync failed (%d)", rc);
    return t.nsecsElapsed() / 1e9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A folder whose listing comes in name order, as FAT, NTFS and tmpfs give it: the names
// are fed to the sorted list as the folder synchroniser feeds it, then walked.
double sortNamesInOrder(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("IMG_%1.jpg").arg(i, 6, 10, QChar('0'));
    QElapsedTimer t;
    t.start();
    SortedList list;
    list.addAll(names);
    list.SortList(QStringLiteral("A"));
    int seen = 0;
    while (!list.atEnd()) {
        list.getNext();
        ++seen;
    }
    const double s = t.nsecsElapsed() / 1e9;
    if (seen != count)
        qFatal("sorted list lost names");
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    // Windows are measured off screen: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    if (!(scale > 0))
        qFatal("usage: bench_foldersync [scale > 0]");
    const QString rsync = QStandardPaths::findExecutable(QStringLiteral("rsync"));

    QTemporaryDir tmp;
    if (!tmp.isValid())
        qFatal("no temporary folder");
    const QByteArray top = QFile::encodeName(tmp.path());

    QTableWidget grid;  // the field screen's report grid, shown
    grid.resize(700, 400);
    grid.show();
    app.processEvents();

    std::printf("scale %.3g; rsync: %s\n", scale, rsync.isEmpty() ? "not installed, FolderSync alone is timed"
                                                                    : qPrintable(rsync));
    std::printf("| tree | case | FolderSync | rsync | ratio |\n|---|---|---|---|---|\n");
    QStringList missed;
    bool allSame = true;
    const char* caseNames[] = {"first copy", "nothing changed", "1 % changed"};

    struct Tree {
        const char* name;
        std::vector<FileSpec> files;
    };
    Tree trees[] = {{"media", mediaTree(scale)}, {"tiny", tinyTree(scale)}};
    for (Tree& tree : trees) {
        qint64 bytes = 0;
        for (const FileSpec& f : tree.files)
            bytes += f.size;
        const QByteArray base = top + '/' + tree.name;
        const QByteArray srcA = base + "/srcA", dstA = base + "/dstA", srcB = base + "/srcB", dstB = base + "/dstB";
        QElapsedTimer built;
        built.start();
        buildTree(srcA, tree.files);
        if (!rsync.isEmpty())
            buildTree(srcB, tree.files);
        std::fprintf(stderr, "%s tree: %zu files, %.1f MB, built in %.1f s\n", tree.name, tree.files.size(),
                     bytes / 1e6, built.nsecsElapsed() / 1e9);

        std::vector<double> fs[3], rs[3];
        bool same = true;
        for (int round = 1; round <= kRounds; ++round) {
            emptyFolder(dstA);
            fs[0].push_back(runFolderSync(grid, srcA, dstA));
            fs[1].push_back(runFolderSync(grid, srcA, dstA));
            changeOnePercent(srcA, tree.files, round);
            fs[2].push_back(runFolderSync(grid, srcA, dstA));
            same = same && sameTrees(srcA, dstA);
            if (rsync.isEmpty())
                continue;
            emptyFolder(dstB);
            rs[0].push_back(runRsync(rsync, srcB, dstB));
            rs[1].push_back(runRsync(rsync, srcB, dstB));
            changeOnePercent(srcB, tree.files, round);
            rs[2].push_back(runRsync(rsync, srcB, dstB));
            same = same && sameTrees(srcB, dstB) && sameTrees(dstA, dstB);
            std::fprintf(stderr, "  round %d: FolderSync %.2f %.2f %.2f s, rsync %.2f %.2f %.2f s\n", round,
                         fs[0].back(), fs[1].back(), fs[2].back(), rs[0].back(), rs[1].back(), rs[2].back());
        }
        for (int c = 0; c < 3; ++c) {
            const double a = median(fs[c]);
            if (rsync.isEmpty()) {
                std::printf("| %s, %zu files, %.2f GB | %s | %.2f s | - | - |\n", tree.name, tree.files.size(),
                            bytes / 1e9, caseNames[c], a);
                continue;
            }
            const double b = median(rs[c]);
            const double ratio = a / b;
            std::printf("| %s, %zu files, %.2f GB | %s | %.2f s | %.2f s | %.1f |\n", tree.name, tree.files.size(),
                        bytes / 1e9, caseNames[c], a, b, ratio);
            if (ratio > kGoalRatio)
                missed << QStringLiteral("%1 tree, %2: ratio %3 > %4")
                              .arg(tree.name, caseNames[c])
                              .arg(ratio, 0, 'f', 1)
                              .arg(kGoalRatio, 0, 'f', 1);
        }
        std::printf("%s tree: %s\n", tree.name,
                    same ? (rsync.isEmpty() ? "source and copy have the same files, sizes and times"
                                            : "both left the same files, sizes and times as the source")
                         : "the copies DIFFER in files, sizes or times");
        allSame = allSame && same;
        QDir(QFile::decodeName(base)).removeRecursively();
    }

    const double sortSeconds = sortNamesInOrder(40000);
    std::printf("40,000 names listed in name order, sorted in %.3f s (goal < %.1f s)\n", sortSeconds, kGoalSortSeconds);
    if (sortSeconds >= kGoalSortSeconds)
        missed << QStringLiteral("sorting 40,000 names in name order took %1 s").arg(sortSeconds, 0, 'f', 2);
    if (!allSame)
        missed << QStringLiteral("the copies differ");
    if (rsync.isEmpty())
        missed << QStringLiteral("ratios not measured (rsync not installed)");
    if (missed.isEmpty())
        std::printf("goals met\n");
    else
        std::printf("goals not met: %s\n", qPrintable(missed.join(QStringLiteral("; "))));
    return 0;
}
