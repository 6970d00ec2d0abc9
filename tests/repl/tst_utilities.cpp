#include <QtTest>

#include "utilities.h"

using namespace Varnock;

class TstUtilities : public QObject {
    Q_OBJECT

private slots:
    void guidTextAndBytes()
    {
        // The text form reads Data1..Data3 as little-endian numbers from the stored bytes.
        const QString text = QStringLiteral("{00112233-4455-6677-8899-AABBCCDDEEFF}");
        const Guid g = GuidFromString(text);
        QCOMPARE(g.toByteArray().toHex(), QByteArray("3322110055447766" "8899aabbccddeeff"));
        QCOMPARE(GuidToString(g), text);
        QCOMPARE(GuidToString(Guid::fromByteArray(g.toByteArray())), text);
        QCOMPARE(GuidFromString(QStringLiteral("{guid ") + text.toLower() + QLatin1Char('}')), g);
        QCOMPARE(GuidFromString(QStringLiteral("{GUID ") + text + QLatin1Char('}')), g);
        QVERIFY(GuidFromString(QStringLiteral("not a guid")).isNull());
        QCOMPARE(EmptyGuidString(), QStringLiteral("{00000000-0000-0000-0000-000000000000}"));
        QVERIFY(EmptyGuid().isNull());
    }

    void guidChecks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isGuid");
        QTest::newRow("upper") << "{00112233-4455-6677-8899-AABBCCDDEEFF}" << true;
        QTest::newRow("lower") << "{00112233-4455-6677-8899-aabbccddeeff}" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("no braces") << "00112233-4455-6677-8899-AABBCCDDEEFF" << false;
        QTest::newRow("bad digit") << "{0011223G-4455-6677-8899-AABBCCDDEEFF}" << false;
        QTest::newRow("dash moved") << "{001122334-455-6677-8899-AABBCCDDEEFF}" << false;
        QTest::newRow("short") << "{00112233-4455-6677-8899-AABBCCDDEEF}" << false;
    }
    void guidChecks()
    {
        QFETCH(QString, text);
        QFETCH(bool, isGuid);
        QCOMPARE(IsGuidString(text), isGuid);
    }

    void guidStringsEqual()
    {
        const QString a = QStringLiteral("{00112233-4455-6677-8899-AABBCCDDEEFF}");
        QVERIFY(GuidStringsEqual(a, a.toLower()));
        QVERIFY(!GuidStringsEqual(a, QString()));
        QVERIFY(!GuidStringsEqual(QString(), QString()));
        QVERIFY(!GuidStringsEqual(a, EmptyGuidString()));
        QVERIFY(GuidsEqual(GuidFromString(a), GuidFromString(a.toLower())));
    }

    void newGuidsDiffer()
    {
        const Guid a = NewGuid(), b = NewGuid();
        QVERIFY(!a.isNull());
        QVERIFY(a != b);
        QVERIFY(IsGuidString(GuidToString(a)));
        QCOMPARE(GuidToString(a).size(), 38);
    }

    void splitPath()
    {
        QString drive, folder, name, ext;
        SplitPath(QStringLiteral("C:\\Data\\Field\\tunnel.db"), drive, folder, name, ext);
        QCOMPARE(drive, QStringLiteral("C:"));
        QCOMPARE(folder, QStringLiteral("\\Data\\Field\\"));
        QCOMPARE(name, QStringLiteral("tunnel"));
        QCOMPARE(ext, QStringLiteral(".db"));

        QString d2, f2, n2, e2 = QStringLiteral("kept");
        SplitPath(QStringLiteral("README"), d2, f2, n2, e2);
        QCOMPARE(d2, QString());
        QCOMPARE(f2, QString());
        QCOMPARE(n2, QStringLiteral("README"));
        QCOMPARE(e2, QStringLiteral("kept"));   // no "." leaves the extension as it was

        QString d3, f3, n3, e3;
        SplitPath(QStringLiteral("/home/field/a.b.db"), d3, f3, n3, e3);
        QCOMPARE(f3, QStringLiteral("/home/field/"));
        QCOMPARE(n3, QStringLiteral("a.b"));
        QCOMPARE(e3, QStringLiteral(".db"));
    }

    void trimAtNull()
    {
        const QChar nul(0);
        QCOMPARE(TrimAtNull(QString(nul) + QStringLiteral("abc")), QString());
        QCOMPARE(TrimAtNull(QStringLiteral("ab") + nul + QStringLiteral("c")), QStringLiteral("ab"));
        QCOMPARE(TrimAtNull(QStringLiteral("abc")), QStringLiteral("abc"));
        // Widened: the NUL looked for is two NUL characters.
        QCOMPARE(TrimAtNull(QStringLiteral("a") + nul + QStringLiteral("b") + nul + nul + QStringLiteral("x"), true),
                 QStringLiteral("a") + nul + QStringLiteral("b"));
        QCOMPARE(WidenText(QStringLiteral("ab")), QStringLiteral("a") + nul + QStringLiteral("b") + nul);
    }

    void nextToken()
    {
        QString text = QStringLiteral("\"a|b\"|c");
        QCOMPARE(NextToken(text, QStringLiteral("|"), QStringLiteral("\"")), QStringLiteral("a|b"));
        QCOMPARE(text, QStringLiteral("c"));
        QCOMPARE(NextToken(text, QStringLiteral("|"), QStringLiteral("\"")), QStringLiteral("c"));
        QCOMPARE(text, QString());

        QString plain = QStringLiteral("one|two");
        QCOMPARE(NextToken(plain, QStringLiteral("|"), QString()), QStringLiteral("one"));
        QCOMPARE(plain, QStringLiteral("two"));

        QString lone = QStringLiteral("\"|x");   // a single quote character keeps itself
        QCOMPARE(NextToken(lone, QStringLiteral("|"), QStringLiteral("\"")), QStringLiteral("\""));
        QCOMPARE(lone, QStringLiteral("x"));
    }

    void formatResStringLeavesMessagesWithoutPlaceholders()
    {
        QCOMPARE(FormatResString(5001, {QStringLiteral("x"), QStringLiteral("y")}),
                 QStringLiteral("The specfied file was not found."));
        QCOMPARE(FormatResString(5003, {}), QStringLiteral("The operation has failed."));
    }

    // StToRgbyt used to read character position 0 for the first element of a 0-based array and fail there.
    void stToRgbytFromZero()
    {
        QByteArray bytes(5, 'x');
        StToRgbyt(QStringLiteral("AB\u00E9"), bytes, 0);
        QCOMPARE(bytes, QByteArray("\0AB\xE9\0", 5));
        QByteArray fromOne(4, 'x');
        StToRgbyt(QStringLiteral("AB\u20AC"), fromOne, 1);
        QCOMPARE(fromOne, QByteArray("AB\x80\0", 4));
        QByteArray negative(3, 'x');
        StToRgbyt(QStringLiteral("AB"), negative, -1);
        QCOMPARE(negative, QByteArray("\0\0A", 3));
    }

    void ansiCodes()
    {
        QCOMPARE(ToAnsi(QStringLiteral("YOUPICK")), QByteArray("YOUPICK"));
        QCOMPARE(int(AnsiCode(QChar(0x0416))), int('?'));   // no 8-bit code
        QCOMPARE(int(AnsiCode(QChar(0x2122))), 0x99);
    }

    void fileExists()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.db"));
        QVERIFY(!FileExistsByLength(file));
        QVERIFY(!FileExistsByLength(QString()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(FileExistsByLength(file));
        QVERIFY(!FileExistsByLength(dir.path()));   // a folder is no file
    }

    void assertions()
    {
        QStringList asked;
        SetAssertHandler([&](const QString& title, const QString& text) {
            asked << title << text;
            return AssertRetry;
        });
        const bool traced = InDebugMode();
        SetShowAFsSwitch(false);
        DebugAssert(false, QStringLiteral("quiet"));
        if (!traced)
            QVERIFY(asked.isEmpty());
        QCOMPARE(AssertMessage(QStringLiteral("x")), traced ? AssertRetry : 0);
        asked.clear();
        SetShowAFsSwitch(true);
        DebugAssert(true, QStringLiteral("holds"));
        QVERIFY(asked.isEmpty());
        DebugAssert(false, QStringLiteral("broken"));
        QCOMPARE(asked, (QStringList{QStringLiteral("OSW Synchronizer ASSERTION FAILURE"),
                                     QStringLiteral("Assertion failed: broken")}));
        SetShowAFsSwitch(false);
        SetAssertHandler({});
    }

    void platform()
    {
        QVERIFY(IsWinNT());
        QVERIFY(!LibraryFolder().isEmpty());
        QCOMPARE(LoadLibraryAW(QStringLiteral("/no/such/module.exe")), std::intptr_t(0));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("module.exe"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const auto module = LoadLibraryAW(file);
        QVERIFY(module != 0);
        QCOMPARE(GetModulePath(module), file);
        FreeModule(module);
        QCOMPARE(GetModulePath(module), QString());
    }
};

QTEST_GUILESS_MAIN(TstUtilities)
#include "tst_utilities.moc"
