#include "settings.h"

#include "helpers.h"
#include "savefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>

static QString gProgramFolderOverride;

QString ProgramFolder()
{
    if (!gProgramFolderOverride.isEmpty())
        return gProgramFolderOverride;
    return QCoreApplication::applicationDirPath();
}

void SetProgramFolder(const QString& folder)
{
    gProgramFolderOverride = folder;
    while (gProgramFolderOverride.size() > 1 && gProgramFolderOverride.endsWith('/'))
        gProgramFolderOverride.chop(1);
}

QString ProgramFile(const QString& name) { return ProgramFolder() + QLatin1Char('/') + name; }

QString IniFilePath() { return ProgramFile(QStringLiteral("krv.ini")); }

// ------------------------------------------------------------------ private-profile file

namespace {

// krv.ini as its bytes, line by line: a line the program does not write goes back exactly as
// it was read, whatever its encoding and line end.
struct IniLine {
    QByteArray bytes;  // without its line end
    QByteArray end;    // "\r\n", "\n", or "" for a last line without one
};

struct IniText {
    QList<IniLine> lines;
    QByteArray eol = "\n";  // for lines the program adds
    QByteArray bytes;       // the file as read
    bool exists = false;
};

bool readIni(const QString& file, IniText* out, QString* error)
{
    QFile f(file);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1 cannot be read: %2").arg(file, f.errorString());
        return false;
    }
    const QByteArray data = f.readAll();
    out->bytes = data;
    out->exists = true;
    if (data.contains("\r\n"))
        out->eol = "\r\n";
    qsizetype pos = 0;
    while (pos < data.size()) {
        const qsizetype nl = data.indexOf('\n', pos);
        IniLine line;
        if (nl < 0) {
            line.bytes = data.mid(pos);
            pos = data.size();
        } else {
            line.bytes = data.mid(pos, nl - pos);
            line.end = "\n";
            if (line.bytes.endsWith('\r')) {
                line.bytes.chop(1);
                line.end = "\r\n";
            }
            pos = nl + 1;
        }
        out->lines << line;
    }
    return true;
}

// The text of a line: UTF-8 when it is valid UTF-8, otherwise Latin-1 (a hand-edited file from
// an older editor), so no byte turns into a replacement character.
QString lineText(const IniLine& line, bool first)
{
    QByteArray bytes = line.bytes;
    if (first && bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

// The section name of a "[name]" line, or a null string.
QString sectionOf(const QString& line)
{
    const QString t = line.trimmed();
    if (t.startsWith('[')) {
        const int close = t.indexOf(']');
        if (close > 0)
            return t.mid(1, close - 1).trimmed();
    }
    return QString();
}

// The key of a "key=value" line, or a null string.
QString keyOf(const QString& line, QString* value = nullptr)
{
    const int eq = line.indexOf('=');
    if (eq <= 0)
        return QString();
    const QString key = line.left(eq).trimmed();
    if (key.isEmpty() || key.startsWith(';'))
        return QString();
    if (value)
        *value = line.mid(eq + 1).trimmed();
    return key;
}

}  // namespace

QString ReadIniString(const QString& file, const QString& section, const QString& key, const QString& fallback)
{
    IniText ini;
    if (!readIni(file, &ini, nullptr))
        return fallback;
    bool inSection = false;
    for (qsizetype i = 0; i < ini.lines.size(); ++i) {
        const QString line = lineText(ini.lines[i], i == 0);
        const QString s = sectionOf(line);
        if (!s.isNull()) {
            inSection = s.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        QString value;
        if (keyOf(line, &value).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        // A value wrapped in one pair of quotes is read without them.
        if (value.size() >= 2 && ((value.startsWith('"') && value.endsWith('"')) ||
                                  (value.startsWith('\'') && value.endsWith('\''))))
            value = value.mid(1, value.size() - 2);
        const int nul = value.indexOf(QChar(0));
        if (nul >= 0)
            value.truncate(nul);
        return value;
    }
    return fallback;
}

bool WriteIniString(const QString& file, const QString& section, const QString& key, const QString& value,
                    QString* error)
{
    IniText ini;
    if (!readIni(file, &ini, error))
        return false;

    const QByteArray newLine = (key + QLatin1Char('=') + value).toUtf8();
    int sectionStart = -1;  // line of the section header
    int lastInSection = -1; // last non-blank line of the section
    bool replaced = false;
    bool inSection = false;
    for (int i = 0; i < ini.lines.size(); ++i) {
        const QString text = lineText(ini.lines[i], i == 0);
        const QString s = sectionOf(text);
        if (!s.isNull()) {
            if (inSection)
                break;
            inSection = s.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) {
                sectionStart = i;
                lastInSection = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!text.trimmed().isEmpty())
            lastInSection = i;
        if (keyOf(text).compare(key, Qt::CaseInsensitive) == 0) {
            ini.lines[i].bytes = newLine;
            replaced = true;
            break;
        }
    }
    // A line added after the last one gives that one a line end.
    auto insertLine = [&ini](qsizetype at, const QByteArray& bytes) {
        if (at > 0 && ini.lines[at - 1].end.isEmpty())
            ini.lines[at - 1].end = ini.eol;
        ini.lines.insert(at, IniLine{bytes, ini.eol});
    };
    if (!replaced) {
        if (sectionStart >= 0) {
            insertLine(lastInSection + 1, newLine);
        } else {
            if (!ini.lines.isEmpty() && !lineText(ini.lines.last(), ini.lines.size() == 1).trimmed().isEmpty())
                insertLine(ini.lines.size(), QByteArray());
            insertLine(ini.lines.size(), QByteArray("[") + section.toUtf8() + QByteArray("]"));
            insertLine(ini.lines.size(), newLine);
        }
    }

    QByteArray bytes;
    for (const IniLine& line : std::as_const(ini.lines))
        bytes += line.bytes + line.end;

    // A write that changes nothing leaves the file alone.
    if (ini.exists && bytes == ini.bytes)
        return true;
    // An installed program's folder may take no new file while krv.ini itself is writable:
    // only there is the file written in place.
    QString failure;
    if (!SaveFileBytes(file, bytes, &failure, true)) {
        if (error)
            *error = failure;
        return false;
    }
    return true;
}

QString IniProblem()
{
    IniText ini;
    QString error;
    if (!readIni(IniFilePath(), &ini, &error))
        return error;
    return QString();
}

// ------------------------------------------------------------------ krv.ini keys

static const QString kSection = QStringLiteral("KRV");

namespace {

// A path krv.ini gives without a folder of its own start ("ReportData.db", "Data/") is taken
// from the program folder, so the folder may be moved or started from anywhere. One written on
// another system ("D:\\Media\\", "\\\\server\\share") is left as it is.
bool isRelativeIniPath(const QString& value)
{
    return !value.isEmpty() && !value.startsWith(QLatin1Char('/')) && !value.startsWith(QLatin1Char('\\')) &&
           !(value.size() >= 2 && value[1] == QLatin1Char(':'));
}

QString fromProgramFolder(const QString& value)
{
    if (!isRelativeIniPath(value))
        return value;
    QString path = QDir::cleanPath(ProgramFolder() + QLatin1Char('/') + value);
    if ((value.endsWith(QLatin1Char('/')) || value.endsWith(QLatin1Char('\\'))) && !path.endsWith(QLatin1Char('/')) &&
        !path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('/');
    return path;
}

QString iniPath(const QString& key, const QString& fallback)
{
    return fromProgramFolder(ReadIniString(IniFilePath(), kSection, key, fallback));
}

}  // namespace

QString IniGetDatabaseFile() { return iniPath(QStringLiteral("DatabaseFile"), ProgramFile(QStringLiteral("krv.db"))); }

bool IniSetDatabaseFile(const QString& path, QString* error)
{
    const QString key = QStringLiteral("DatabaseFile");
    const QString stored = ReadIniString(IniFilePath(), kSection, key, QString());
    // The file krv.ini names already, however it names it: nothing to write.
    if (!stored.isEmpty() && QDir::cleanPath(fromProgramFolder(stored)) == QDir::cleanPath(path))
        return true;
    // A user who named the database relatively keeps doing so for a file in the program folder.
    QString value = path;
    if (isRelativeIniPath(stored)) {
        const QString relative = QDir(ProgramFolder()).relativeFilePath(path);
        if (relative != QLatin1String("..") && !relative.startsWith(QLatin1String("../")) && QDir::isRelativePath(relative))
            value = relative;
    }
    return WriteIniString(IniFilePath(), kSection, key, value, error);
}

QString IniGetReportRatingsFile()
{
    return iniPath(QStringLiteral("ReportRatingsFile"), ProgramFile(QStringLiteral("ReportData.db")));
}

QString IniGetSystemPath()
{
    QString path = iniPath(QStringLiteral("SystemPath"), ProgramFile(QStringLiteral("Data/")));
    if (!path.endsWith('/') && !path.endsWith('\\'))
        path += QLatin1Char('/');
    return path;
}

bool IniIsDataCollector()
{
    return ReadIniString(IniFilePath(), kSection, QStringLiteral("DataCollector"), QStringLiteral("No")) ==
           QStringLiteral("Yes");
}
