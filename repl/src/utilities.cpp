#include "utilities.h"
#include "registry.h"
#include "resources.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>
#include <QMap>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace Varnock {

namespace {
thread_local bool tShowAFs = false;

AssertHandler& assertHandlerSlot()
{
    static AssertHandler handler;
    return handler;
}

bool debuggerAttached()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("TracerPid:"))
            return line.mid(10).trimmed().toInt() != 0;
    }
    return false;
}

struct ModuleTable {
    QMap<std::intptr_t, QString> paths;
    std::intptr_t next = 1;
};
ModuleTable& modules()
{
    static ModuleTable table;
    return table;
}

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

// Parses the braced text form strictly; false for anything else.
bool parseGuid(const QString& text, Guid& out)
{
    if (text.size() != 38 || text.front() != QLatin1Char('{') || text.back() != QLatin1Char('}'))
        return false;
    static const int dashes[] = {9, 14, 19, 24};
    for (int d : dashes)
        if (text.at(d) != QLatin1Char('-'))
            return false;
    auto field = [&](int from, int digits, std::uint64_t& value) {
        value = 0;
        for (int i = 0; i < digits; ++i) {
            const int h = hexValue(text.at(from + i));
            if (h < 0) return false;
            value = (value << 4) | std::uint64_t(h);
        }
        return true;
    };
    std::uint64_t d1, d2, d3, d4a, d4b;
    if (!field(1, 8, d1) || !field(10, 4, d2) || !field(15, 4, d3) || !field(20, 4, d4a) || !field(25, 12, d4b))
        return false;
    Guid g;
    for (int i = 0; i < 4; ++i) g.bytes[i] = std::uint8_t(d1 >> (8 * i));
    for (int i = 0; i < 2; ++i) g.bytes[4 + i] = std::uint8_t(d2 >> (8 * i));
    for (int i = 0; i < 2; ++i) g.bytes[6 + i] = std::uint8_t(d3 >> (8 * i));
    g.bytes[8] = std::uint8_t(d4a >> 8);
    g.bytes[9] = std::uint8_t(d4a);
    for (int i = 0; i < 6; ++i) g.bytes[10 + i] = std::uint8_t(d4b >> (8 * (5 - i)));
    out = g;
    return true;
}
} // namespace

bool ShowAFsSwitch() { return tShowAFs; }
void SetShowAFsSwitch(bool on) { tShowAFs = on; }

bool InDebugMode()
{
    return debuggerAttached() || tShowAFs;
}

void SetAssertHandler(AssertHandler handler)
{
    assertHandlerSlot() = std::move(handler);
}

int AssertMessage(const QString& text)
{
    if (!InDebugMode())
        return 0;
    std::fprintf(stderr, "%s\r\n", text.toLocal8Bit().constData());
    const QString title = QStringLiteral("OSW Synchronizer ASSERTION FAILURE");
    if (auto& handler = assertHandlerSlot())
        return handler(title, text);
    return AssertRetry;
}

void DebugAssert(bool condition, const QString& message)
{
    if (condition || !InDebugMode())
        return;
    std::fputs("\a", stderr);
    const QString text = QStringLiteral("Assertion failed: ") + message;
    if (AssertMessage(text) == AssertCancel) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::abort();
    }
}

bool FileExistsByLength(const QString& path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isFile();
}

std::intptr_t LoadLibraryAW(const QString& path)
{
    if (path.isEmpty())
        return 0;
    QString found;
    if (path.contains(QLatin1Char('/')) || path.contains(QLatin1Char('\\'))) {
        if (QFileInfo(path).isFile())
            found = QFileInfo(path).absoluteFilePath();
    } else {
        found = QStandardPaths::findExecutable(path);
        if (found.isEmpty() && QFileInfo(path).isFile())
            found = QFileInfo(path).absoluteFilePath();
    }
    if (found.isEmpty())
        return 0;
    auto& table = modules();
    const std::intptr_t handle = table.next++;
    table.paths.insert(handle, found);
    return handle;
}

QString GetModulePath(std::intptr_t module)
{
    return modules().paths.value(module);
}

void FreeModule(std::intptr_t module)
{
    modules().paths.remove(module);
}

QString LibraryFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) && info.dli_fname)
        return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
    return QString();
}

std::int32_t GetPlatformId()
{
    return 2;   // the NT family: wide text everywhere
}

bool IsWinNT()
{
    return (GetPlatformId() & 2) != 0;
}

bool IsGuidString(const QString& text)
{
    if (text.isEmpty())
        return false;
    Guid g;
    return parseGuid(text, g);
}

Guid GuidFromString(const QString& text)
{
    QString t = text;
    const QString prefix = QStringLiteral("{guid ");
    if (t.startsWith(prefix, Qt::CaseInsensitive) && t.endsWith(QLatin1Char('}')))
        t = t.mid(prefix.size(), t.size() - prefix.size() - 1);
    Guid g;
    if (!parseGuid(t, g))
        return Guid{};
    return g;
}

QString GuidToString(const Guid& g)
{
    const auto& b = g.bytes;
    auto hex = [](std::uint64_t v, int digits) {
        return QString::number(v, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
    };
    const std::uint32_t d1 = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                             std::uint32_t(b[3]) << 24;
    const std::uint16_t d2 = std::uint16_t(b[4] | b[5] << 8);
    const std::uint16_t d3 = std::uint16_t(b[6] | b[7] << 8);
    QString tail;
    for (int i = 10; i < 16; ++i) tail += hex(b[i], 2);
    return QStringLiteral("{%1-%2-%3-%4%5-%6}")
        .arg(hex(d1, 8), hex(d2, 4), hex(d3, 4), hex(b[8], 2), hex(b[9], 2), tail);
}

bool GuidsEqual(const Guid& a, const Guid& b)
{
    return a == b;
}

bool GuidStringsEqual(const QString& a, const QString& b)
{
    if (!IsGuidString(a) || !IsGuidString(b))
        return false;
    return GuidFromString(a) == GuidFromString(b);
}

Guid NewGuid()
{
    const QUuid u = QUuid::createUuid();
    if (u.isNull())
        return Guid{};
    Guid g;
    for (int i = 0; i < 4; ++i) g.bytes[i] = std::uint8_t(u.data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) g.bytes[4 + i] = std::uint8_t(u.data2 >> (8 * i));
    for (int i = 0; i < 2; ++i) g.bytes[6 + i] = std::uint8_t(u.data3 >> (8 * i));
    for (int i = 0; i < 8; ++i) g.bytes[8 + i] = u.data4[i];
    return g;
}

Guid EmptyGuid()
{
    return Guid{};
}

QString EmptyGuidString()
{
    return GuidToString(EmptyGuid());
}

void SplitPath(const QString& path, QString& drive, QString& folder, QString& fileName, QString& extension)
{
    QString rest = path;
    const int colon = rest.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        drive = rest.left(colon + 1);
        rest = rest.mid(colon + 1);
    }
    for (int i = rest.size() - 1; i >= 0; --i) {
        if (rest.at(i) == QLatin1Char('/') || rest.at(i) == QLatin1Char('\\')) {
            folder = rest.left(i + 1);
            rest = rest.mid(i + 1);
            break;
        }
    }
    const int dot = rest.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        extension = rest.mid(dot);
        rest = rest.left(dot);
    }
    fileName = rest;
}

QString TrimAtNull(const QString& text, bool widen)
{
    const QString nul = widen ? WidenText(QString(QChar(0))) : QString(QChar(0));
    const int at = text.indexOf(nul);
    if (at < 0)
        return text;
    return text.left(at);
}

QString NextToken(QString& text, const QString& delimiter, const QString& quote)
{
    const int q = quote.isEmpty() ? -1 : text.indexOf(quote, 0, Qt::CaseInsensitive);
    int d = text.indexOf(delimiter, 0, Qt::CaseInsensitive);
    if (q >= 0 && (d < 0 || q < d)) {
        const int closing = text.indexOf(quote, q + quote.size(), Qt::CaseInsensitive);
        d = text.indexOf(delimiter, closing < 0 ? 0 : closing + quote.size(), Qt::CaseInsensitive);
    }
    QString token;
    if (d >= 0) {
        token = text.left(d);
        text = text.mid(d + delimiter.size());
    } else {
        token = text;
        text.clear();
    }
    if (!quote.isEmpty() && token.size() > 1 && token.startsWith(quote, Qt::CaseInsensitive) &&
        token.endsWith(quote, Qt::CaseInsensitive) && token.size() >= 2 * quote.size())
        token = token.mid(quote.size(), token.size() - 2 * quote.size());
    return token;
}

QString WidenText(const QString& text)
{
    QString out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        out += QChar(ushort(c.unicode() & 0xFF));
        out += QChar(ushort(c.unicode() >> 8));
    }
    return out;
}

QString FormatResString(std::int32_t id, const QStringList& inserts)
{
    QString message = ResString(id);
    QString joined = inserts.join(QLatin1Char('|'));
    for (int i = 1;; ++i) {
        const QString placeholder = QLatin1Char('|') + QString::number(i);
        const int at = message.indexOf(placeholder, 0, Qt::CaseInsensitive);
        if (at < 0)
            break;
        const QString value = joined == QLatin1String("|")
                                  ? joined
                                  : NextToken(joined, QStringLiteral("|"), QStringLiteral("\""));
        message.replace(at, placeholder.size(), value);
    }
    return message;
}

std::uint8_t AnsiCode(QChar c)
{
    const ushort u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return std::uint8_t(u);
    // Windows-1252 places these in 0x80..0x9F.
    static const ushort high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (int i = 0; i < 32; ++i)
        if (high[i] && high[i] == u)
            return std::uint8_t(0x80 + i);
    return '?';
}

QByteArray ToAnsi(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text)
        out += char(AnsiCode(c));
    return out;
}

void StToRgbyt(const QString& st, QByteArray& rgbyt, int lowerBound)
{
    for (int k = 0; k < rgbyt.size(); ++k) {
        const int position = lowerBound + k;   // 1 = the first character
        rgbyt[k] = (position >= 1 && position <= st.size()) ? char(AnsiCode(st.at(position - 1))) : char(0);
    }
}

QString GetProgramFilesDir(bool read)
{
    QString dir;
    if (read) {
        try {
            dir = ReadMachineText(QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion"),
                                  QStringLiteral("ProgramFilesDir"));
        } catch (...) {
            dir.clear();
        }
    }
    if (dir.isEmpty())
        dir = QStringLiteral("C:\\Program Files");
    return dir;
}

} // namespace Varnock
