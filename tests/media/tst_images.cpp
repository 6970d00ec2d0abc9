// The picture viewer: which picture it shows, paging, zoom, pan, the sketch's way on to
// the photos, printing, and viewers whose picture is missing.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmImages.h"
#include "modkrv.h"
#include "picturebomb.h"
#include "savefile.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

// Stands in for the thumbnails window: records what it was asked to show.
QStringList gThumbCalls;
class FakeThumbs : public KrvForm<QWidget> {
    Q_OBJECT
public:
    FakeThumbs() : KrvForm<QWidget>(QStringLiteral("frmMultImg")) {}
    Q_INVOKABLE void LoadForm(qint32 panel, qint32 element, qint32 inspection, bool sketch)
    {
        gThumbCalls << QStringLiteral("%1,%2,%3,%4").arg(panel).arg(element).arg(inspection).arg(sketch);
    }
};

// Answers the print set-up by sending the page to a PDF file; everything else goes to the
// scripted service.
class PdfPrompt final : public PromptService {
public:
    explicit PdfPrompt(ScriptedPrompt& inner, QString file) : m_inner(inner), m_file(std::move(file))
    {
        SetPromptService(this);
    }
    ~PdfPrompt() override { SetPromptService(&m_inner); }
    MsgAnswer message(const QString& t, const QString& ti, MsgIcon i, MsgButtons b, MsgAnswer d) override
    {
        return m_inner.message(t, ti, i, b, d);
    }
    std::optional<QString> inputText(const QString& p, const QString& t, const QString& i) override
    {
        return m_inner.inputText(p, t, i);
    }
    QString openFileName(const QString& t, const QString& f, const QString& fi) override
    {
        return m_inner.openFileName(t, f, fi);
    }
    QString saveFileName(const QString& t, const QString& f, const QString& fi) override
    {
        return m_inner.saveFileName(t, f, fi);
    }
    QString folderName(const QString& t, const QString& f) override { return m_inner.folderName(t, f); }
    std::optional<quint32> chooseColor(quint32 c, const QString& t) override { return m_inner.chooseColor(c, t); }
    bool printSetup(QPrinter* printer, const QString& title) override
    {
        if (!m_inner.printSetup(printer, title))
            return false;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(m_file);
        return true;
    }
    bool launch(const QUrl& url) override { return m_inner.launch(url); }

private:
    ScriptedPrompt& m_inner;
    QString m_file;
};

// A tunnel with one period and one panel; pictures are drawn into the year's folders, each
// photo a different width so the test can tell which one is shown.
struct Fixture {
    TestInstall install;
    ScriptedPrompt prompt;
    qint32 tunnel = 0, period = 0, panel = 0;
    const qint32 element = 7;
    QString photoFolder, sketchFolder;

    Fixture()
    {
        FixtureSystem();
        tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        period = FixturePeriod(tunnel, 2024);
        FixtureElement(element, QStringLiteral("Liner"));
        panel = qint32(gConn.insertAutoNumber(QStringLiteral("Panels"),
                                              {{QStringLiteral("TunnelID"), tunnel},
                                               {QStringLiteral("PanelNum"), 1},
                                               {QStringLiteral("PanelName"), QStringLiteral("P-1")}}));
        photoFolder = GetPhotoFolder(tunnel, period);
        sketchFolder = GetSketchFolder(tunnel, period);
        MakeFolderTree(photoFolder);
        MakeFolderTree(sketchFolder);
    }
    static void draw(const QString& path, int width)
    {
        QImage img(width, 80, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        QVERIFY(img.save(path, "PNG"));
    }
    // Photo n is 100 + 10 n pixels wide.
    void photos(int count)
    {
        for (int n = 0; n < count; ++n) {
            const QString name = QStringLiteral("photo%1.png").arg(n);
            draw(photoFolder + name, 100 + 10 * n);
            FixturePicture(panel, element, period, name, false, QStringLiteral("note %1").arg(n));
        }
    }
    frmImages* open(int index, bool sketch = false)
    {
        auto* viewer = new frmImages;
        viewer->LoadForm(index, sketch, panel, element, period);
        return viewer;
    }
};

int shownWidth(frmImages* v) { return v->mapContainer->Picture().width(); }

}  // namespace

class tst_images : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        gThumbCalls.clear();
    }

    void pagingThroughPhotos_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("previous");
        QTest::addColumn<bool>("next");
        QTest::newRow("one photo") << 1 << 0 << false << false;
        QTest::newRow("first of three") << 3 << 0 << false << true;
        QTest::newRow("middle of three") << 3 << 1 << true << true;
        QTest::newRow("last of three, from the thumbnails") << 3 << 2 << true << false;
    }
    void pagingThroughPhotos()
    {
        QFETCH(int, count);
        QFETCH(int, start);
        QFETCH(bool, previous);
        QFETCH(bool, next);
        Fixture f;
        f.photos(count);
        frmImages* v = f.open(start);
        QVERIFY(v->isVisible());
        QCOMPARE(v->windowTitle(), QStringLiteral("Photograph"));
        QCOMPARE(v->PicCount(), count);
        QCOMPARE(v->CurrentIndex(), start);
        QCOMPARE(shownWidth(v), 100 + 10 * start);
        QCOMPARE(v->txtAnnotation->toPlainText(), QStringLiteral("note %1").arg(start));
        QCOMPARE(v->cmdPrevious->isEnabled(), previous);
        QCOMPARE(v->mnuPrevious->isEnabled(), previous);
        QCOMPARE(v->cmdNext->isEnabled(), next);
        QCOMPARE(v->mnuNext->isEnabled(), next);
        QVERIFY(!v->cmdPhoto->isVisibleTo(v));
        QVERIFY(f.prompt.calls.isEmpty());
    }

    // A photo of any size a camera takes opens at 100 %, measured at its own size and held
    // scaled down within the photo decode limit, and pages on as any other.
    void cameraSizePhotosAreShown_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("12 MP") << QSize(4000, 3000);
        QTest::newRow("45 MP") << QSize(8256, 5504);
        QTest::newRow("200 MP") << QSize(16320, 12240);
    }
    void cameraSizePhotosAreShown()
    {
        QFETCH(QSize, size);
        Fixture f;
        QVERIFY(WriteFlatJpeg(f.photoFolder + QStringLiteral("big.jpg"), size.width(), size.height()));
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("big.jpg"), false, QStringLiteral("big"));
        Fixture::draw(f.photoFolder + QStringLiteral("small.png"), 120);
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("small.png"), false, QStringLiteral("small"));
        frmImages* v = f.open(0);
        QVERIFY(v->isVisible());
        QCOMPARE(v->mapContainer->PictureSize(), size);
        const QSize held = v->mapContainer->Picture().size();
        QVERIFY(qint64(held.width()) * held.height() <= 16'000'000);
        QCOMPARE(held.width() * size.height(), held.height() * size.width());  // its shape kept
        qint32 w = 0, h = 0;
        v->mapContainer->ImgSize(w, h);
        QCOMPARE(QSize(w, h), size * 15);
        QCOMPARE(v->cboZoom->currentText(), QStringLiteral("100%"));
        v->grab();
        QTest::mouseClick(v->cmdNext, Qt::LeftButton);
        QCOMPARE(v->mapContainer->PictureSize(), QSize(120, 80));
        QCOMPARE(shownWidth(v), 120);
        QVERIFY(f.prompt.calls.isEmpty());
    }

    void nextAndPreviousReturnToNaturalSize()
    {
        Fixture f;
        f.photos(3);
        frmImages* v = f.open(0);
        v->mnu200->trigger();
        QCOMPARE(v->cboZoom->currentText(), QStringLiteral("200%"));
        QTest::mouseClick(v->cmdNext, Qt::LeftButton);
        QCOMPARE(v->CurrentIndex(), 1);
        QCOMPARE(shownWidth(v), 110);
        QCOMPARE(v->txtAnnotation->toPlainText(), QStringLiteral("note 1"));
        QCOMPARE(v->cboZoom->currentText(), QStringLiteral("100%"));
        QCOMPARE(v->mapContainer->ZoomFactor(), 1.0f);
        v->mnuNext->trigger();
        QCOMPARE(v->CurrentIndex(), 2);
        QVERIFY(!v->cmdNext->isEnabled());
        QVERIFY(v->cmdPrevious->isEnabled());
        QTest::mouseClick(v->cmdPrevious, Qt::LeftButton);
        v->mnuPrevious->trigger();
        QCOMPARE(v->CurrentIndex(), 0);
        QCOMPARE(shownWidth(v), 100);
        QVERIFY(!v->cmdPrevious->isEnabled());
        QVERIFY(f.prompt.calls.isEmpty());
    }

    // A photo that cannot be shown while paging leaves the viewer where it was, so the next
    // page and the printed annotation still belong to the picture on screen.
    void pagingOntoAMissingPhotoStaysPut()
    {
        Fixture f;
        f.photos(3);
        QVERIFY(QFile::remove(f.photoFolder + QStringLiteral("photo1.png")));
        frmImages* v = f.open(0);
        QTest::mouseClick(v->cmdNext, Qt::LeftButton);
        QCOMPARE(f.prompt.messages(), QStringList{QStringLiteral("Error selecting next image")});
        QCOMPARE(v->CurrentIndex(), 0);
        QCOMPARE(shownWidth(v), 100);
        QCOMPARE(v->txtAnnotation->toPlainText(), QStringLiteral("note 0"));
        QVERIFY(!v->cmdPrevious->isEnabled());
        QVERIFY(v->isVisible());
        QVERIFY(f.install.read(QStringLiteral("err.log")).contains("frmImages-Error selecting next image"));
    }

    void missingPictureIsReportedAndNoWindowStays_data()
    {
        QTest::addColumn<bool>("sketch");
        QTest::addColumn<bool>("withRow");
        QTest::addColumn<QString>("message");
        const QString photo = QStringLiteral("The photo you requested could not be found.");
        const QString sketch = QStringLiteral("The field sketch you requested could not be found.");
        QTest::newRow("photo file gone") << false << true << photo;
        QTest::newRow("no photo row") << false << false << photo;
        QTest::newRow("sketch file gone") << true << true << sketch;
        QTest::newRow("no sketch row") << true << false << sketch;
    }
    void missingPictureIsReportedAndNoWindowStays()
    {
        QFETCH(bool, sketch);
        QFETCH(bool, withRow);
        QFETCH(QString, message);
        Fixture f;
        if (withRow)
            FixturePicture(f.panel, f.element, f.period, QStringLiteral("gone.png"), sketch);
        QPointer<frmImages> v = f.open(0, sketch);
        QCOMPARE(f.prompt.messages(), QStringList{message});
        QCOMPARE(f.prompt.calls[0].title, QStringLiteral("Corvane Quorrel"));
        QCOMPARE(f.prompt.calls[0].icon, MsgIcon::Critical);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmImages")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(v.isNull());
    }

    void sketchViewerLeadsToThePhotos()
    {
        Fixture f;
        Fixture::draw(f.sketchFolder + QStringLiteral("sketch.png"), 140);
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("sketch.png"), true, QStringLiteral("crack map"));
        RegisterFormFactory(QStringLiteral("frmMultImg"), [] { return new FakeThumbs; });
        QPointer<frmImages> v = f.open(0, true);
        QCOMPARE(v->windowTitle(), QStringLiteral("Field Sketch"));
        QCOMPARE(shownWidth(v), 140);
        QCOMPARE(v->txtAnnotation->toPlainText(), QStringLiteral("crack map"));
        QVERIFY(!v->cmdNext->isVisibleTo(v));
        QVERIFY(!v->cmdPrevious->isVisibleTo(v));
        QVERIFY(!v->mnuNext->isVisible());
        QVERIFY(v->cmdPhoto->isVisibleTo(v));
        QVERIFY(v->cmdPhoto->isEnabled());
        QTest::mouseClick(v->cmdPhoto, Qt::LeftButton);
        QCOMPARE(gThumbCalls, QStringList{QStringLiteral("%1,7,%2,0").arg(f.panel).arg(f.period)});
        QVERIFY(!IsFormLoaded(QStringLiteral("frmImages")));
        QVERIFY(IsFormLoaded(QStringLiteral("frmMultImg")));
        QVERIFY(f.prompt.calls.isEmpty());
    }

    // A quote in a file name is part of the name.
    void fileNameWithQuotes()
    {
        Fixture f;
        const QString name = QStringLiteral("O'Hare \"east\".png");
        Fixture::draw(f.photoFolder + name, 123);
        FixturePicture(f.panel, f.element, f.period, name, false, QStringLiteral("it's cracked"));
        frmImages* v = f.open(0);
        QVERIFY(v->isVisible());
        QCOMPARE(shownWidth(v), 123);
        QCOMPARE(v->txtAnnotation->toPlainText(), QStringLiteral("it's cracked"));
    }

    void zoomTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("textAfter");
        QTest::newRow("150% Enter") << "150%" << false << 1.5f << QString() << "150%";
        QTest::newRow("150 Enter") << "150" << false << 1.5f << QString() << "150";
        QTest::newRow("0% Enter") << "0%" << false << 1.0f << QString() << "0%";
        QTest::newRow("0 Enter") << "0" << false << 1.0f << QString() << "0";
        QTest::newRow("letters Enter") << "1x5" << false << 1.0f << "Please enter a number." << "";
        QTest::newRow("75% button") << "75%" << true << 0.75f << QString() << "75%";
        QTest::newRow("0 button") << "0" << true << 1.0f << QString() << "0";
        QTest::newRow("letters button") << "abc" << true << 1.0f << "Please enter a number in the text box."
                                        << "100%";
    }
    void zoomTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, byButton);
        QFETCH(float, zoom);
        QFETCH(QString, message);
        QFETCH(QString, textAfter);
        Fixture f;
        f.photos(1);
        frmImages* v = f.open(0);
        v->cboZoom->setCurrentText(text);
        if (byButton) {
            QTest::mouseClick(v->imgZoom, Qt::LeftButton);
        } else {
            v->cboZoom->lineEdit()->setFocus();
            QTest::keyClick(v->cboZoom->lineEdit(), Qt::Key_Return);
        }
        QCOMPARE(v->mapContainer->ZoomFactor(), zoom);
        QCOMPARE(v->cboZoom->currentText(), textAfter);
        QCOMPARE(f.prompt.messages(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(f.prompt.calls[0].title, QStringLiteral("Zoom"));
        QCOMPARE(v->cboZoom->count(), 5);
    }

    void zoomFromListAndMenu()
    {
        Fixture f;
        f.photos(1);
        frmImages* v = f.open(0);
        QCOMPARE(v->cboZoom->currentText(), QStringLiteral("100%"));
        QStringList items;
        for (int i = 0; i < v->cboZoom->count(); ++i)
            items << v->cboZoom->itemText(i);
        QCOMPARE(items, QStringList({"50%", "75%", "100%", "150%", "200%"}));
        v->cboZoom->setFocus();
        QTest::keyClick(v->cboZoom, Qt::Key_Down);  // 150%
        v->cboZoom->activated(v->cboZoom->currentIndex());
        QCOMPARE(v->mapContainer->ZoomFactor(), 1.5f);
        v->mnu50->trigger();
        QCOMPARE(v->mapContainer->ZoomFactor(), 0.5f);
        QCOMPARE(v->cboZoom->currentText(), QStringLiteral("50%"));
    }

    void panFromBoxAndMenu()
    {
        Fixture f;
        f.photos(1);
        frmImages* v = f.open(0);
        QVERIFY(!v->PanActive());
        QTest::mouseClick(v->chkPan, Qt::LeftButton);
        QVERIFY(v->PanActive());
        QVERIFY(v->mapContainer->PanOn());
        QVERIFY(v->mnuPan->isChecked());
        v->mnuPan->trigger();
        QVERIFY(!v->PanActive());
        QVERIFY(!v->mapContainer->PanOn());
        QVERIFY(!v->chkPan->isChecked());
        QVERIFY(!v->mnuPan->isChecked());
        v->mnuPan->trigger();
        QVERIFY(v->chkPan->isChecked());
        QVERIFY(v->mapContainer->PanOn());
    }

    void rightButtonOpensTheMenu()
    {
        Fixture f;
        f.photos(1);
        frmImages* v = f.open(0);
        QWidget* surface = v->mapContainer->findChild<QWidget*>(QStringLiteral("picContainer"));
        QVERIFY(surface);
        QTest::mousePress(surface, Qt::RightButton, {}, QPoint(5, 5));
        QTRY_VERIFY(v->mnuImage->isVisible());
        v->mnuImage->hide();
    }

    void severalViewersKeepTheirOwnState()
    {
        Fixture f;
        f.photos(2);
        frmImages* a = f.open(0);
        frmImages* b = f.open(1);
        a->mnu150->trigger();
        QTest::mouseClick(b->chkPan, Qt::LeftButton);
        QCOMPARE(a->mapContainer->ZoomFactor(), 1.5f);
        QCOMPARE(b->mapContainer->ZoomFactor(), 1.0f);
        QVERIFY(b->PanActive());
        QVERIFY(!a->PanActive());
        QCOMPARE(shownWidth(a), 100);
        QCOMPARE(shownWidth(b), 110);
        int viewers = 0;
        for (QWidget* w : LoadedForms())
            viewers += w->objectName() == QLatin1String("frmImages");
        QCOMPARE(viewers, 2);
        QTest::mouseClick(a->cmdClose, Qt::LeftButton);
        QVERIFY(IsFormLoaded(QStringLiteral("frmImages")));
        QVERIFY(b->isVisible());
    }

    void printing()
    {
        Fixture f;
        f.photos(1);
        frmImages* v = f.open(0);
        const QString pdf = f.install.file(QStringLiteral("page.pdf"));
        PdfPrompt pdfPrompt(f.prompt, pdf);

        f.prompt.answers.enqueue(false);  // cancelled: nothing printed, nothing logged
        QTest::mouseClick(v->cmdPrint, Qt::LeftButton);
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(!QFile::exists(f.install.file(QStringLiteral("err.log"))));

        v->mnu200->trigger();
        f.prompt.answers.enqueue(true);
        v->mnuPrint->trigger();
        QCOMPARE(f.prompt.count(PromptCall::Print), 2);
        QCOMPARE(f.prompt.count(PromptCall::Message), 0);
        QFile out(pdf);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY(out.read(4) == "%PDF");
        QVERIFY(out.size() > 1000);
        out.close();

        // A disk with room for 95 % of the page (through the write seam): the page printed
        // before stays whole, no cut file is left, and the message says which file and why.
        const QByteArray before = f.install.read(QStringLiteral("page.pdf"));
        {
            WriteFault fault(QStringLiteral("page.pdf"), before.size() * 95 / 100);
            f.prompt.answers.enqueue(true);
            v->mnuPrint->trigger();
        }
        QCOMPARE(f.prompt.messages(), QStringList{"Error: Unable to print Image\nThe file " + pdf +
                                                  " could not be written: the disk is full."});
        QCOMPARE(f.install.read(QStringLiteral("page.pdf")), before);
        QCOMPARE(QDir(f.install.folder()).entryList({QStringLiteral("page.pdf*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("page.pdf")});
    }

    void narrowWindowIsWidenedAgain()
    {
        Fixture f;
        f.photos(1);
        frmImages* v = f.open(0);
        v->resize(50, 400);
        QCoreApplication::processEvents();
        QCOMPARE(v->width(), 2000 / 15);
        v->resize(800, 600);
        QCoreApplication::processEvents();
        // Map to 75 twips (5 px) from the right; the annotation frame below it; buttons 450 up.
        QCOMPARE(v->mapContainer->geometry().right() + 1, 800 - 5);
        QCOMPARE(v->cmdClose->y(), 600 - 30);
        QCOMPARE(v->fraAnn->y(), 600 - 103);
    }
};

QTEST_MAIN(tst_images)
#include "tst_images.moc"
