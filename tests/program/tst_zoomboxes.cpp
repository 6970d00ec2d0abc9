// Every zoom box of the program, typed into as the desktop delivers keys: an editable combo
// box keeps the keyboard focus itself, so the keys go to it and not to its line edit.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmImages.h"
#include "frmSystem.h"
#include "frmViewSystem.h"
#include "globals.h"
#include "inventoryforms.h"
#include "mediaforms.h"
#include "modkrv.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace {

void writePicture(const QString& path)
{
    QImage img(400, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    QVERIFY(img.save(path));
}

struct ZoomWindow {
    QWidget* window = nullptr;
    QComboBox* box = nullptr;
    ZVMap* map = nullptr;
};

}  // namespace

class TestZoomBoxes : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;

    ZoomWindow open(const QString& name)
    {
        QDir(m_install->folder()).mkpath(QStringLiteral("Data"));
        writePicture(m_install->file(QStringLiteral("Data/map.png")));
        FixtureSystem(QStringLiteral("Metro"));
        gConn.exec(QStringLiteral("UPDATE System SET SystemPicture = 'map.png'"));
        if (name == QLatin1String("frmSystem")) {
            auto* w = new frmSystem;
            w->show();
            return {w, w->cboZoom, w->ZVMap1};
        }
        if (name == QLatin1String("frmViewSystem")) {
            auto* w = new frmViewSystem;
            w->show();
            return {w, w->cboZoom, w->ZVMap1};
        }
        // The picture viewer, on a photo of an element.
        const qint32 tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        const qint32 period = FixturePeriod(tunnel, 2024);
        FixtureElement(7, QStringLiteral("Liner"));
        const qint32 panel = qint32(gConn.insertAutoNumber(
            QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                       {QStringLiteral("PanelNum"), 1},
                                       {QStringLiteral("PanelName"), QStringLiteral("P-1")}}));
        MakeFolderTree(GetPhotoFolder(tunnel, period));
        writePicture(GetPhotoFolder(tunnel, period) + QStringLiteral("photo.png"));
        FixturePicture(panel, 7, period, QStringLiteral("photo.png"), false);
        auto* w = new frmImages;
        w->LoadForm(0, false, panel, 7, period);
        return {w, w->cboZoom, w->mapContainer};
    }

private slots:
    void initTestCase()
    {
        RegisterInventoryForms();
        RegisterMediaForms();
    }
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        m_prompt.reset();
        m_install.reset();
    }

    void typedValueAndEnterZooms_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<float>("zoom");
        for (const char* window : {"frmSystem", "frmViewSystem", "frmImages"}) {
            QTest::addRow("%s, 35", window) << window << "35" << 0.35f;
            QTest::addRow("%s, 120", window) << window << "120" << 1.2f;
            QTest::addRow("%s, 120%%", window) << window << "120%" << 1.2f;
            QTest::addRow("%s, listed 150%%", window) << window << "150%" << 1.5f;
        }
    }
    void typedValueAndEnterZooms()
    {
        QFETCH(QString, window);
        QFETCH(QString, typed);
        QFETCH(float, zoom);
        const ZoomWindow w = open(window);
        QVERIFY(w.box && w.map);
        QApplication::setActiveWindow(w.window);
        w.box->setFocus();
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus == w.box || focus == w.box->lineEdit());
        w.box->lineEdit()->selectAll();
        QTest::keyClicks(focus, typed);
        QCOMPARE(w.box->currentText(), typed);
        QTest::keyClick(focus, Qt::Key_Return);
        QCOMPARE(w.map->ZoomFactor(), zoom);
        QCOMPARE(w.box->count(), 5);  // Enter adds no entry
        QVERIFY(m_prompt->calls.isEmpty());
    }
};

QTEST_MAIN(TestZoomBoxes)
#include "tst_zoomboxes.moc"
