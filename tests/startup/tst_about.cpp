// The About box, the help document and the program's end with its last window.
#include "application.h"
#include "clicklabel.h"
#include "forms.h"
#include "frmAbout.h"
#include "frmHelp.h"
#include "frmSystem.h"
#include "frmViewSystem.h"
#include "globals.h"
#include "inventoryforms.h"
#include "scriptedprompt.h"
#include "startup.h"
#include "testinstall.h"
#include "windowscript.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterInventoryForms(); }
    void init()
    {
        m_install = std::make_unique<TestInstall>(false);
        m_prompt = std::make_unique<ScriptedPrompt>();
        SetHelpFile(QStringLiteral("help.html"));
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
        ClearPendingQuit();
    }

    void showsVersionAndOpensTheWebPage()
    {
        QCoreApplication::setApplicationVersion(kProgramVersion);
        auto* about = new frmAbout;
        about->show();
        QCOMPARE(about->windowTitle(), QStringLiteral("About Corvane Quorrel"));
        QCOMPARE(about->lblVer->text(), QStringLiteral("Version 2.1.5"));
        QCOMPARE(about->Label2->text().count('\n'), 2);  // three lines
        QCOMPARE(about->Image2->toolTip(), QStringLiteral("Corvane Home"));
        QTest::mouseClick(about->Image1, Qt::LeftButton);
        QTest::mouseClick(about->Image2, Qt::LeftButton);
        QCOMPARE(m_prompt->count(PromptCall::Launch), 2);
        QCOMPARE(m_prompt->calls[0].text, kProductWebPage);
        QVERIFY(about->isVisible());
        QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmAbout")));
    }

    void helpCommand_data()
    {
        QTest::addColumn<QString>("helpFile");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("message");
        QTest::newRow("help document") << "help.html" << true << "";
        QTest::newRow("help document missing") << "help.html" << false << "Error locating help file\nThe file %1 does not exist.";
        QTest::newRow("no help")
            << "" << false << "Unable to display Help Contents. There is no Help associated with this project.";
    }
    void helpCommand()
    {
        QFETCH(QString, helpFile);
        QFETCH(bool, present);
        QFETCH(QString, message);
        SetHelpFile(helpFile);
        if (present)
            m_install->write(QStringLiteral("help.html"), "<html></html>");
        auto* about = new frmAbout;
        about->show();
        QTest::mouseClick(about->cmdHelp, Qt::LeftButton);
        if (message.isEmpty()) {
            // Shown in the program's own window, whether or not the desktop has a viewer.
            frmHelp* help = frmHelp::Current();
            QVERIFY(help);
            QVERIFY(help->isVisible());
            QCOMPARE(help->txtHelp->source().toLocalFile(), m_install->file(QStringLiteral("help.html")));
            QCOMPARE(m_prompt->count(PromptCall::Launch), 0);
            QVERIFY(m_prompt->messages().isEmpty());
            help->close();
        } else {
            QCOMPARE(m_prompt->messages(),
                     QStringList{QString(message).replace(QStringLiteral("%1"), m_install->file(helpFile))});
            QCOMPARE(m_prompt->count(PromptCall::Launch), 0);
        }
        if (helpFile.isEmpty()) {
            QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Information);
            QCOMPARE(m_prompt->calls[0].title, QStringLiteral("About Corvane Quorrel"));
        }
        if (!present && !helpFile.isEmpty())
            QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmAbout-Error locating help file"));
        about->Unload();
    }

    void windowTitleIsTheCaptionAlone()
    {
        // A display name would be appended to every window's title by the window system.
        PrepareApplication();
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Quillmar Inc."));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("KRV"));
        QCOMPARE(QCoreApplication::applicationVersion(), kProgramVersion);
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
        QGuiApplication::setQuitOnLastWindowClosed(true);
    }

    void helpWindowFollowsItsLinks()
    {
        m_install->write(QStringLiteral("help.html"),
                         "<html><head><title>Quorrel Help</title></head><body>"
                         "<a href=\"#field\">Field</a> <a href=\"more.html\">More</a> "
                         "<a href=\"https://example.org/krv\">Web</a>"
                         + QByteArray(200, '\n') + "<h2 id=\"field\">Field work</h2><p>Replicas.</p></body></html>");
        m_install->write(QStringLiteral("more.html"), "<html><body><p>More help.</p></body></html>");
        ShowHelpContents(QStringLiteral("Corvane Quorrel"), QStringLiteral("frmSystem"));
        frmHelp* help = frmHelp::Current();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->windowTitle(), QStringLiteral("Quorrel Help"));
        QVERIFY(help->txtHelp->toPlainText().contains(QLatin1String("Replicas.")));

        // A link within the document goes to its place there.
        emit help->txtHelp->anchorClicked(QUrl(QStringLiteral("#field")));
        QCOMPARE(help->txtHelp->source().fragment(), QStringLiteral("field"));
        // Another page beside it opens in the window; Back returns.
        emit help->txtHelp->anchorClicked(QUrl(QStringLiteral("more.html")));
        QVERIFY(help->txtHelp->toPlainText().contains(QLatin1String("More help.")));
        QVERIFY(help->cmdBack->isEnabled());
        QTest::mouseClick(help->cmdBack, Qt::LeftButton);
        QVERIFY(help->txtHelp->toPlainText().contains(QLatin1String("Replicas.")));
        // A web address goes to the desktop.
        emit help->txtHelp->anchorClicked(QUrl(QStringLiteral("https://example.org/krv")));
        QCOMPARE(m_prompt->count(PromptCall::Launch), 1);
        QCOMPARE(m_prompt->calls.last().text, QStringLiteral("https://example.org/krv"));
        QVERIFY(m_prompt->messages().isEmpty());

        // A second Help command brings the same window back.
        ShowHelpContents(QStringLiteral("Corvane Quorrel"), QStringLiteral("frmSystem"));
        QCOMPARE(frmHelp::Current(), help);
        QTest::mouseClick(help->cmdClose, Qt::LeftButton);
        QTRY_VERIFY(!frmHelp::Current());
    }

    void unreadableHelpIsReported()
    {
        m_install->write(QStringLiteral("help.html"), "<html></html>");
        QFile::setPermissions(m_install->file(QStringLiteral("help.html")), QFileDevice::WriteOwner);
        if (QFile(m_install->file(QStringLiteral("help.html"))).open(QIODevice::ReadOnly))
            QSKIP("running as a user who reads every file");
        ShowHelpContents(QStringLiteral("Corvane Quorrel"), QStringLiteral("frmSystem"));
        QVERIFY(!frmHelp::Current());
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error locating help file")});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("could not be opened"));
    }

    void helpDocumentShipsBesideTheProgram()
    {
        // The tests are built beside krv; the build copies the help document there.
        QFile help(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help.html")));
        QVERIFY(help.open(QIODevice::ReadOnly));
        const QByteArray text = help.readAll();
        QVERIFY(text.contains("Logging on"));
        QVERIFY(text.contains("User Manager"));
    }

    void backgroundOfANarrowWindowIsFinite()
    {
        QElapsedTimer t;
        t.start();
        for (int w : {1, 10, 129, 130, 480}) {
            const QPixmap pm = frmAbout::Background(QSize(w, 40));
            QCOMPARE(pm.width(), w);
        }
        QVERIFY(t.elapsed() < 5000);
        // Lighter towards the centre.
        const QImage img = frmAbout::Background(QSize(480, 270)).toImage();
        QVERIFY(QColor(img.pixel(240, 135)).lightness() > QColor(img.pixel(1, 1)).lightness());
    }

    // The program ends when its last window unloads, and not when a window unloads
    // itself to open another.
    void programEndsWithTheLastWindow()
    {
        gIsWizard = true;
        SetEndWhenLastFormUnloads(true);
        QStringList afterHandOvers;
        QStringList afterExit;
        auto* setup = new frmSystem;
        setup->show();
        QTimer::singleShot(0, [&] {
            setup->mnuClose->trigger();  // Close Wizard: the main window takes over
            static_cast<frmViewSystem*>(LoadedForms().first())->mnuWizardSystem->trigger();  // and back
            QTimer::singleShot(50, [&] {
                // Still running after the hand-overs; Exit ends it.
                afterHandOvers = LoadedFormNames();
                static_cast<frmSystem*>(LoadedForms().first())->mnuExit->trigger();
                afterExit = LoadedFormNames();
            });
        });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
        const int code = QCoreApplication::exec();
        SetEndWhenLastFormUnloads(false);
        QCOMPARE(afterHandOvers, QStringList{QStringLiteral("frmSystem")});
        QCOMPARE(afterExit, QStringList());
        QCOMPARE(code, 0);
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
