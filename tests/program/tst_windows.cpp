// Every window of the program as a person sees it on a 1280 x 800 screen: it opens whole,
// keeps its size while idle, and cuts none of its texts. The windows are opened on the
// demo installation, each as the command that shows it loads it.
//
// KRV_WINDOW_SHOTS=<folder> also saves a picture of every window (and of each tab).
#include "demowindows.h"
#include "frmAbout.h"
#include "frmDBManager.h"
#include "frmHelp.h"
#include "frmLogon.h"
#include "frmSaveRpt.h"
#include "startup.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDateTimeEdit>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTemporaryFile>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

namespace {

constexpr QSize kScreen(1280, 800);
// What a window manager adds around a window that the offscreen platform does not draw.
constexpr int kBorder = 4;
constexpr int kTitleBar = 30;

QString plain(QString text)
{
    // "&&" is a shown "&"; a single "&" marks the access key and takes no room.
    text.replace(QLatin1String("&&"), QChar(0x1));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(0x1), QLatin1Char('&'));
    return text;
}

QString where(const QWidget* w)
{
    QString path = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (!p->objectName().isEmpty() && !p->objectName().startsWith(QLatin1String("qt_")))
            path = p->objectName() + QLatin1Char('/') + path;
    return path;
}

// The text of a control that does not fit the room it has, as "where: text (need > have)".
QStringList cutTexts(QWidget* window)
{
    QStringList cut;
    auto note = [&](const QWidget* w, const QString& text, int need, int have) {
        if (need > have)
            cut << QStringLiteral("%1: \"%2\" (%3 > %4 px)").arg(where(w), text).arg(need).arg(have);
    };
    // Its lines' height against the height the text has: a lower edge cut is a cut too.
    auto noteHeight = [&](const QWidget* w, const QString& text, int need, int have) {
        if (need > have)
            cut << QStringLiteral("%1: \"%2\" (%3 > %4 px high)").arg(where(w), text).arg(need).arg(have);
    };
    auto linesHeight = [](const QFontMetrics& fm, const QString& text) {
        const int lines = int(text.count(QLatin1Char('\n'))) + 1;
        return fm.height() + (lines - 1) * fm.lineSpacing();
    };
    const QList<QWidget*> all = window->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isVisibleTo(window) || w->width() <= 0 || w->window() != window)
            continue;
        const QFontMetrics fm = w->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty())
                continue;
            const int haveHigh = label->contentsRect().height() - 2 * label->margin();
            if (label->wordWrap()) {
                // Wrapped at its width, all its lines fit its height.
                const QString text = label->text().simplified();
                const int width = label->contentsRect().width() - 2 * label->margin();
                const QRect need = fm.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, label->text());
                noteHeight(label, text, need.height(), haveHigh);
                continue;
            }
            if (label->textFormat() == Qt::RichText
                || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))) {
                QTextDocument doc;
                doc.setDefaultFont(label->font());
                doc.setDocumentMargin(0);
                doc.setHtml(label->text());
                note(label, doc.toPlainText(), qCeil(doc.idealWidth()), label->contentsRect().width());
                doc.setTextWidth(doc.idealWidth());
                noteHeight(label, doc.toPlainText(), qCeil(doc.size().height()), haveHigh);
                continue;
            }
            const QString text = label->buddy() ? plain(label->text()) : label->text();
            int need = 0;
            for (const QString& line : text.split(QLatin1Char('\n')))
                need = std::max(need, fm.horizontalAdvance(line));
            const int have = label->contentsRect().width() - 2 * label->margin()
                             - (label->indent() > 0 ? label->indent() : 0);
            note(label, text, need, have);
            noteHeight(label, text, linesHeight(fm, text), haveHigh);
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            if (!box->text().isEmpty()) {
                note(box, plain(box->text()), box->sizeHint().width(), box->width());
                noteHeight(box, plain(box->text()), linesHeight(fm, box->text()), box->height());
            }
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            if (!radio->text().isEmpty()) {
                note(radio, plain(radio->text()), radio->sizeHint().width(), radio->width());
                noteHeight(radio, plain(radio->text()), linesHeight(fm, radio->text()), radio->height());
            }
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            if (button->text().isEmpty())
                continue;
            if (button->property("wordWrap").toBool()) {
                // A button that wraps its caption: the lines fit its face at the full font.
                const QRect box = button->rect().adjusted(3, 2, -3, -2);
                const QRect need = fm.boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap, button->text().trimmed());
                if (need.height() > box.height())
                    cut << QStringLiteral("%1: \"%2\" (%3 > %4 px high)")
                               .arg(where(button), button->text().trimmed())
                               .arg(need.height())
                               .arg(box.height());
                note(button, button->text().trimmed(), need.width(), box.width());
                continue;
            }
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = button->text();
            opt.icon = button->icon();
            opt.iconSize = button->iconSize();
            if (button->isDefault())
                opt.features |= QStyleOptionButton::DefaultButton;
            if (button->autoDefault())
                opt.features |= QStyleOptionButton::AutoDefaultButton;
            // The text keeps clear of the button's frame by two pixels on each side.
            const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
            int need = fm.horizontalAdvance(plain(button->text())) + 4;
            if (!button->icon().isNull())
                need += button->iconSize().width() + 4;
            note(button, plain(button->text()), need, room.width());
            noteHeight(button, plain(button->text()), linesHeight(fm, button->text()), room.height());
        } else if (auto* tool = qobject_cast<QToolButton*>(w)) {
            if (!tool->text().isEmpty() && tool->toolButtonStyle() != Qt::ToolButtonIconOnly && tool->icon().isNull())
                note(tool, plain(tool->text()), fm.horizontalAdvance(plain(tool->text())) + 4, tool->width());
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            if (!group->title().isEmpty())
                note(group, plain(group->title()),
                     fm.horizontalAdvance(plain(group->title())) + (group->isCheckable() ? 20 : 0) + 8, group->width());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            // A date or number box shows the whole of its value; so does a box that only shows one.
            auto* spin = qobject_cast<QAbstractSpinBox*>(edit->parentWidget());
            if (!spin && !edit->isReadOnly())
                continue;
            QString text = edit->displayText();
            if (auto* date = qobject_cast<QDateTimeEdit*>(spin)) {
                // Any date it may show, not only today's: the widest month and day.
                for (int month = 1; month <= 12; ++month) {
                    const QString t = date->locale().toString(QDate(2088, month, 28), date->displayFormat());
                    if (fm.horizontalAdvance(t) > fm.horizontalAdvance(text))
                        text = t;
                }
            }
            if (text.isEmpty())
                continue;
            const QMargins m = edit->textMargins();
            // QLineEdit keeps 2 px each side inside its contents rect.
            const int have = edit->contentsRect().width() - m.left() - m.right() - 4;
            note(spin ? static_cast<QWidget*>(spin) : edit, text, fm.horizontalAdvance(text), have);
        }
    }
    return cut;
}

// Buttons of the window with their place in it.
QMap<QString, QRect> buttonPlaces(QWidget* window)
{
    QMap<QString, QRect> places;
    int i = 0;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->isVisibleTo(window) && b->window() == window)
            places.insert(QStringLiteral("%1#%2").arg(where(b)).arg(i++),
                          QRect(b->mapTo(window, QPoint(0, 0)), b->size()));
    return places;
}

QStringList tabPages(QWidget* window, const std::function<void(const QString&)>& onEach)
{
    QStringList seen;
    onEach(QString());
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        if (!tabs->isVisibleTo(window))
            continue;
        const int was = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabEnabled(i) || !tabs->isTabVisible(i) || i == was)
                continue;
            tabs->setCurrentIndex(i);
            QCoreApplication::processEvents();
            const QString name = QStringLiteral("%1[%2]").arg(tabs->objectName(), plain(tabs->tabText(i)));
            seen << name;
            onEach(name);
        }
        tabs->setCurrentIndex(was);
    }
    return seen;
}

}  // namespace

class TestWindows : public QObject {
    Q_OBJECT

    DemoWindows m_demo;

    // Opens the window as its command does. A modal window is open while this runs.
    void open(const QString& key)
    {
        const QString name = key.section(QLatin1Char(' '), 0, 0);
        auto load = [&](const char* method, const QVariantList& args) { return DemoWindows::load(name, method, args); };
        const DemoWindows& d = m_demo;
        if (name == QLatin1String("frmHelp")) {
            SetHelpFile(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help.html")));
            ShowHelpContents(QStringLiteral("Corvane Quorrel"), QStringLiteral("test"));
        } else if (name == QLatin1String("frmOpenSysMap")) {
            load("LoadForm", {QStringLiteral("Insert System Map"), d.folder + QStringLiteral("/Data/")})->show();
        } else if (name == QLatin1String("frmPost")) {
            load("LoadForm", {d.tunnel, d.latest});
        } else if (name == QLatin1String("frmIPdialog")) {
            load("LoadForm", {d.tunnel});
        } else if (key == QLatin1String("frmDataView one")) {
            load("LoadForm", {d.tunnel, d.earlier, 0})->show();
        } else if (name == QLatin1String("frmImages")) {
            load("LoadForm", {0, false, d.panel, d.element, d.photoInspection})->show();
        } else if (name == QLatin1String("frmMultImg")) {
            load("LoadForm", {d.panel, d.element, d.photoInspection, false})->show();
        } else if (name == QLatin1String("frmVideoView")) {
            load("LoadForm", {d.panel, d.element, d.latest});
        } else if (name == QLatin1String("frmPrintKeyplan")) {
            QWidget* caller = CreateForm(QStringLiteral("frmDataView"));
            CallFormMethod(caller, "LoadForm", {d.tunnel, d.earlier, 0});
            load("LoadForm", {d.tunnel, d.earlier, 0, QVariant::fromValue<QObject*>(caller)})->show();
        } else if (name == QLatin1String("frmReport")) {
            QString kind = key.section(QLatin1Char(' '), 1);
            if (kind == QLatin1String("evaluation"))
                kind = d.category + QStringLiteral(" Element Condition Evaluation");
            load("GetFormType", {kind})->show();
        } else if (name == QLatin1String("frmReportViewer")) {
            load("GetReportType", {QStringLiteral("Defect")})->show();
        } else if (name == QLatin1String("frmSaveRpt")) {
            auto* caller = qobject_cast<QDialog*>(CreateForm(QStringLiteral("frmReport")));
            CallFormMethod(caller, "GetFormType", {QStringLiteral("Defect")});
            auto* w = new frmSaveRpt(caller);
            w->LoadSave(caller, QStringLiteral("Defect"));
            w->show();
        } else if (name == QLatin1String("frmAbout")) {
            (new frmAbout)->show();
        } else if (name == QLatin1String("frmDBManager")) {
            (new frmDBManager)->show();
        } else if (name == QLatin1String("frmLogon")) {
            (new frmLogon)->show();
        } else {
            // The definition and entry windows ("frmDataView two" too), and any other shown as created.
            QVERIFY2(m_demo.open(key), qPrintable(name));
        }
    }

    // Closes what the test opened without the windows' own unload handling (the user
    // manager's would run the start-up).
    static void closeAll()
    {
        if (frmHelp* help = frmHelp::Current())
            help->close();
        for (QWidget* w : LoadedForms()) {
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
                d->QDialog::reject();
            w->hide();
            UnregisterForm(w);
            w->deleteLater();
        }
        QCoreApplication::processEvents();
    }

    // Runs check on the window once it shows, whether its opener returns at once or runs it modal.
    void withWindow(const QString& key, const std::function<void(QWidget*)>& check)
    {
        const QString name = key.section(QLatin1Char(' '), 0, 0);
        bool done = false;
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* found = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == name && w->isVisible())
                    found = w;
            if (!found)
                return;
            poll.stop();
            check(found);
            done = true;
            closeAll();
        });
        poll.start();
        try {
            open(key);
        } catch (const std::exception& e) {
            QFAIL(qPrintable(QStringLiteral("%1 did not open: %2").arg(key, QString::fromUtf8(e.what()))));
        }
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
    }

private slots:
    void initTestCase()
    {
        m_demo.photoNotSketch = true;
        m_demo.setUp();
        QGuiApplication::setQuitOnLastWindowClosed(true);
    }

    void cleanup() { closeAll(); }

    void cleanupTestCase()
    {
        closeAll();
        gReportConn.close();
        m_demo.tearDown();
    }

    void screenIsTheOneWindowsMustFit()
    {
        // The program's main() is not run here: the test sets the screen (see main below).
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), kScreen);
    }

    void opensWholeAndKeepsItsSize_data() { windows(); }
    void opensWholeAndKeepsItsSize()
    {
        QFETCH(QString, key);
        QStringList problems;
        withWindow(key, [&](QWidget* w) {
            QCoreApplication::processEvents();
            const QRect frame = w->frameGeometry();
            const bool framed = frame.size() != w->size();
            const QRect outer = framed ? frame : frame.adjusted(-kBorder, -kTitleBar, kBorder, kBorder);
            const bool maximized = w->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
            if (!maximized && (outer.width() > kScreen.width() || outer.height() > kScreen.height()))
                problems << QStringLiteral("its frame is %1 x %2, more than the screen")
                                .arg(outer.width())
                                .arg(outer.height());
            if (!maximized && !QRect(QPoint(-kBorder, 0), kScreen + QSize(2 * kBorder, 0)).contains(outer))
                problems << QStringLiteral("it opens at %1,%2 %3 x %4, off the screen")
                                .arg(outer.x())
                                .arg(outer.y())
                                .arg(outer.width())
                                .arg(outer.height());
            const QMap<QString, QRect> before = buttonPlaces(w);
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                if (!w->rect().contains(it.value()))
                    problems << QStringLiteral("button %1 lies outside the window").arg(it.key());
            const QSize size = w->size();
            QTest::qWait(2000);
            if (w->size() != size)
                problems << QStringLiteral("idle, it went from %1 x %2 to %3 x %4")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(w->width())
                                .arg(w->height());
            const QMap<QString, QRect> after = buttonPlaces(w);
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                if (after.value(it.key()) != it.value())
                    problems << QStringLiteral("idle, button %1 moved").arg(it.key());
        });
        QVERIFY2(problems.isEmpty(), qPrintable(key + QStringLiteral(": ") + problems.join(QStringLiteral("; "))));
    }

    void cutsNoText_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("face");
        const QStringList keys = keyList();
        // The platform's default face, and the Liberation face the set-up installs.
        for (const QString& face : {QString(), QStringLiteral("Liberation Sans")})
            for (const QString& key : keys)
                QTest::newRow(qPrintable(key + (face.isEmpty() ? QString() : QStringLiteral(", ") + face)))
                    << key << face;
    }
    void cutsNoText()
    {
        QFETCH(QString, key);
        QFETCH(QString, face);
        const QFont was = QApplication::font();
        if (!face.isEmpty()) {
            QFont font = was;
            font.setFamily(face);
            QApplication::setFont(font);
        }
        const auto restore = qScopeGuard([&] { QApplication::setFont(was); });
        QStringList cut;
        const QString shots = qEnvironmentVariable("KRV_WINDOW_SHOTS");
        withWindow(key, [&](QWidget* w) {
            QCoreApplication::processEvents();
            tabPages(w, [&](const QString& page) {
                for (const QString& c : cutTexts(w))
                    cut << (page.isEmpty() ? c : page + QStringLiteral(" ") + c);
                if (!shots.isEmpty()) {
                    QDir().mkpath(shots);
                    QString file = key + QStringLiteral(" ") + face + (page.isEmpty() ? QString() : QStringLiteral(" ") + page);
                    file.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("_"));
                    w->grab().save(QDir(shots).filePath(file + QStringLiteral(".png")));
                }
            });
        });
        cut.removeDuplicates();
        QVERIFY2(cut.isEmpty(), qPrintable(key + QStringLiteral(" cuts:\n  ") + cut.join(QStringLiteral("\n  "))));
    }

private:
    static void windows()
    {
        QTest::addColumn<QString>("key");
        for (const QString& key : keyList())
            QTest::newRow(qPrintable(key)) << key;
    }
    static QStringList keyList()
    {
        return {
            "frmSystem",          "frmViewSystem",      "frmOpenSysMap",      "frmEleDef elements",
            "frmEleDef expenditure", "frmDataTabs",    "frmTunnelSpecs",
            "frmPanelElements",   "frmInspectionPd",    "frmDataInput",       "frmPost",
            "frmDataView one",    "frmDataView two",    "frmIPdialog",        "frmExpense",
            "frmImages",          "frmImgInput",        "frmMultImg",         "frmVideo",           "frmVideoView",
            "frmPrintKeyplan",    "frmPrintPreview",    "frmReport Defect",   "frmReport Expenditure",
            "frmReport evaluation", "frmReportSelection", "frmReportViewer",  "frmSaveRpt",
            "frmCreateReplica",   "frmSyncFS",          "frmSyncData",        "frmAbout",
            "frmDBManager",       "frmUser",            "frmLogon",           "frmHelp"};
    }
};

// The offscreen screen is made 1280 x 800, the smallest screen the program is made for.
int main(int argc, char** argv)
{
    QTemporaryFile config(QDir::tempPath() + QStringLiteral("/krv-screen-XXXXXX.json"));
    if (config.open()) {
        config.write(R"({"screens": [{"name": "krv", "x": 0, "y": 0, "width": 1280, "height": 800,
                         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        config.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    TestWindows test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windows.moc"
