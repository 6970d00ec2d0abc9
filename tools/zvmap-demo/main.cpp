// zvmap-demo: a small host of the map control, to try it by hand. It opens a picture (or makes one),
// lets a person draw, edit, move, copy and paste polygons, pan, zoom, shade and highlight them, and
// prints every event of the control, in the log pane and on standard output.
//
//   zvmap-demo [--picture FILE] [--sample] [--zoom PERCENT] [--screenshot FILE.png]
//
// --sample adds a few panels, shades two and highlights one; --screenshot saves the window and quits.

#include "zvmap.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <cstdio>

namespace {

QString pointsText(const QVector<zv::Point>& pts)
{
    QStringList parts;
    for (const zv::Point& p : pts) parts << QStringLiteral("(%1, %2)").arg(p.x).arg(p.y);
    return parts.join(QLatin1Char(' '));
}

// A tunnel wall elevation: concrete, an arch line and a grid of panel joints.
QString makeSamplePicture(const QString& folder)
{
    QImage im(900, 600, QImage::Format_RGB32);
    QPainter p(&im);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 600);
    g.setColorAt(0, QColor(205, 205, 198));
    g.setColorAt(1, QColor(160, 158, 150));
    p.fillRect(im.rect(), g);
    p.setPen(QPen(QColor(110, 110, 105), 2));
    for (int x = 60; x < 900; x += 130) p.drawLine(x, 80, x, 560);
    p.drawLine(20, 80, 880, 80);
    p.drawLine(20, 320, 880, 320);
    p.drawLine(20, 560, 880, 560);
    QPainterPath arch;
    arch.moveTo(20, 80);
    arch.cubicTo(200, 10, 700, 10, 880, 80);
    p.drawPath(arch);
    p.setPen(QColor(70, 70, 70));
    p.drawText(QRect(20, 570, 860, 24), Qt::AlignCenter, QStringLiteral("Tunnel 7 - east wall"));
    p.end();
    const QString path = folder + QStringLiteral("/tunnel-east-wall.png");
    im.save(path);
    return path;
}

class DemoWindow : public QMainWindow {
public:
    DemoWindow()
    {
        setWindowTitle(QStringLiteral("ZVMap demo"));
        m_map = new ZVMap(this);
        m_map->setObjectName(QStringLiteral("ZVMap1"));
        setCentralWidget(m_map);
        m_log = new QPlainTextEdit(this);
        m_log->setReadOnly(true);
        m_log->setMaximumBlockCount(2000);
        auto* dock = new QDockWidget(QStringLiteral("Events"), this);
        dock->setWidget(m_log);
        addDockWidget(Qt::BottomDockWidgetArea, dock);
        m_map->setMessageHandler([this](const QString& title, const QString& text) {
            log(QStringLiteral("message [%1] %2").arg(title, text));
            statusBar()->showMessage(text, 4000);
        });
        buildToolBar();
        connectEvents();
        resize(1000, 720);
    }

    ZVMap* map() const { return m_map; }

    void openPicture(const QString& path)
    {
        try {
            m_map->setImage(path);
            m_map->Zoom(qint16(m_zoom->currentData().toInt()));
            log(QStringLiteral("Image = %1").arg(path));
        } catch (const zv::Error& e) {
            log(QStringLiteral("Image refused %1: %2 %3").arg(path).arg(e.number()).arg(e.text()));
        }
    }

    void setZoom(int percent)
    {
        const int i = m_zoom->findData(percent);
        if (i >= 0) m_zoom->setCurrentIndex(i);
        m_map->Zoom(qint16(percent));
    }

    // A few panels in picture twips (15 per pixel of the sample picture).
    void addSamplePanels()
    {
        int id = 101;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 3; ++col) {
                const int x = (60 + col * 130) * 15, y = (80 + row * 240) * 15;
                zv::Poly p;
                p.Pt = {{x + 60, y + 60}, {x + 130 * 15 - 60, y + 60}, {x + 130 * 15 - 60, y + 240 * 15 - 60},
                        {x + 60, y + 240 * 15 - 60}};
                m_map->SetPoly(id++, p);
            }
        zv::Poly crack;
        crack.Pt = {{570 * 15, 350 * 15}, {700 * 15, 380 * 15}, {760 * 15, 470 * 15}, {640 * 15, 530 * 15}, {560 * 15, 450 * 15}};
        m_map->SetPoly(id++, crack);
        m_nextId = id;
        m_map->ShadePoly(102, 1);
        m_map->ShadePoly(105, 2);
        m_map->ShadePoly(107, 1);
        m_map->HighlightPoly(104);
        m_selected = 104;
        log(QStringLiteral("sample: panels 101..107, 102 and 107 warning, 105 critical, 104 highlighted"));
    }

private:
    void log(const QString& line)
    {
        m_log->appendPlainText(line);
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }

    QAction* addTool(QToolBar* bar, const QString& text, std::function<void()> f)
    {
        QAction* a = bar->addAction(text);
        connect(a, &QAction::triggered, this, [this, f, text] {
            try {
                f();
            } catch (const zv::Error& e) {
                log(QStringLiteral("%1 failed: %2 %3").arg(text).arg(e.number()).arg(e.text()));
            }
        });
        return a;
    }

    void buildToolBar()
    {
        QToolBar* bar = addToolBar(QStringLiteral("Map"));
        addTool(bar, QStringLiteral("Open..."), [this] {
            const QString f = QFileDialog::getOpenFileName(this, QStringLiteral("Open picture"), QString(),
                                                           QStringLiteral("Pictures (*.bmp *.dib *.gif *.jpg *.jpeg *.png *.ico *.cur)"));
            if (!f.isEmpty()) openPicture(f);
        });
        m_zoom = new QComboBox(this);
        for (int z : {25, 50, 75, 100, 150, 200, 300, 400}) m_zoom->addItem(QStringLiteral("%1 %").arg(z), z);
        m_zoom->setCurrentIndex(m_zoom->findData(100));
        connect(m_zoom, &QComboBox::activated, this, [this] {
            m_map->Zoom(qint16(m_zoom->currentData().toInt()));
            log(QStringLiteral("Zoom %1").arg(m_zoom->currentData().toInt()));
        });
        bar->addWidget(m_zoom);
        QAction* pan = addTool(bar, QStringLiteral("Pan"), [] {});
        pan->setCheckable(true);
        connect(pan, &QAction::toggled, this, [this](bool on) { m_map->Pan(on); });
        bar->addSeparator();
        addTool(bar, QStringLiteral("Draw"), [this] { m_map->DrawPoly(); });
        addTool(bar, QStringLiteral("Move"), [this] { m_map->PolyMove(); });
        addTool(bar, QStringLiteral("Move point"), [this] { m_map->MovePoint(); });
        addTool(bar, QStringLiteral("Delete point"), [this] { m_map->DeletePoint(); });
        addTool(bar, QStringLiteral("Add point"), [this] { m_map->AddPoint(); });
        addTool(bar, QStringLiteral("Cancel"), [this] { m_map->Cancel(); });
        bar->addSeparator();
        addTool(bar, QStringLiteral("Copy"), [this] { m_map->Copy(m_selected); });
        addTool(bar, QStringLiteral("Paste"), [this] { m_map->Paste(m_nextId++); });
        addTool(bar, QStringLiteral("Delete"), [this] { m_map->Delete(m_selected); });
        bar->addSeparator();
        addTool(bar, QStringLiteral("Shade 0"), [this] { m_map->ShadePoly(m_selected, 0); });
        addTool(bar, QStringLiteral("Shade 1"), [this] { m_map->ShadePoly(m_selected, 1); });
        addTool(bar, QStringLiteral("Shade 2"), [this] { m_map->ShadePoly(m_selected, 2); });
        addTool(bar, QStringLiteral("Highlight"), [this] { m_map->HighlightPoly(m_selected); });
        addTool(bar, QStringLiteral("Only this"), [this] { m_map->HighlightInvisPoly(m_selected); });
        QAction* outlines = addTool(bar, QStringLiteral("Outlines"), [] {});
        outlines->setCheckable(true);
        outlines->setChecked(true);
        connect(outlines, &QAction::toggled, this, [this](bool on) { m_map->setPVisible(on); });
    }

    void connectEvents()
    {
        ZVMap* m = m_map;
        connect(m, &ZVMap::Click, this, [this] { log(QStringLiteral("Click")); });
        connect(m, &ZVMap::DblClick, this, [this] { log(QStringLiteral("DblClick")); });
        connect(m, &ZVMap::MouseDown, this, [this](qint16 b, qint16 s, float x, float y) {
            log(QStringLiteral("MouseDown button %1 shift %2 at (%3, %4)").arg(b).arg(s).arg(x).arg(y));
        });
        connect(m, &ZVMap::MouseUp, this, [this](qint16 b, qint16 s, float x, float y) {
            log(QStringLiteral("MouseUp button %1 shift %2 at (%3, %4)").arg(b).arg(s).arg(x).arg(y));
        });
        connect(m, &ZVMap::PolyHit, this, [this](qint32 id, qint16 s) {
            m_selected = id;
            log(QStringLiteral("PolyHit %1 shift %2").arg(id).arg(s));
            statusBar()->showMessage(QStringLiteral("selected polygon %1").arg(id));
        });
        // The out-arguments need a direct connection.
        connect(m, &ZVMap::PolyIdentified, this, [this](qint32& outId, const QVector<zv::Point>& pts, bool&) {
            outId = m_nextId++;
            m_selected = outId;
            log(QStringLiteral("PolyIdentified -> ID %1: %2").arg(outId).arg(pointsText(pts)));
        }, Qt::DirectConnection);
        connect(m, &ZVMap::PolyMouseOver, this, [](qint32 id, QString& tip) { tip = QStringLiteral("Panel %1").arg(id); },
                Qt::DirectConnection);
        connect(m, &ZVMap::PolyMoved, this, [this](qint32 id, const QVector<zv::Point>& pts) {
            log(QStringLiteral("PolyMoved %1: %2").arg(id).arg(pointsText(pts)));
        });
        connect(m, &ZVMap::PolyPasted, this, [this](qint32 id, const QVector<zv::Point>& pts) {
            m_selected = id;
            log(QStringLiteral("PolyPasted %1: %2").arg(id).arg(pointsText(pts)));
        });
        connect(m, &ZVMap::PointMoved, this, [this](qint32 id, const QVector<zv::Point>& pts) {
            log(QStringLiteral("PointMoved %1: %2").arg(id).arg(pointsText(pts)));
        });
    }

    ZVMap* m_map = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QComboBox* m_zoom = nullptr;
    qint32 m_selected = 0;
    qint32 m_nextId = 1;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral("Try the map control by hand."));
    cli.addHelpOption();
    cli.addOption({QStringLiteral("picture"), QStringLiteral("Picture to open."), QStringLiteral("file")});
    cli.addOption({QStringLiteral("sample"), QStringLiteral("Add sample panels, shaded and highlighted.")});
    cli.addOption({QStringLiteral("zoom"), QStringLiteral("Zoom percent."), QStringLiteral("percent"), QStringLiteral("100")});
    cli.addOption({QStringLiteral("screenshot"), QStringLiteral("Save the window to this PNG and quit."), QStringLiteral("file")});
    cli.process(app);

    QTemporaryDir tmp;
    DemoWindow w;
    w.openPicture(cli.isSet(QStringLiteral("picture")) ? cli.value(QStringLiteral("picture")) : makeSamplePicture(tmp.path()));
    w.setZoom(cli.value(QStringLiteral("zoom")).toInt());
    if (cli.isSet(QStringLiteral("sample"))) w.addSamplePanels();
    if (cli.isSet(QStringLiteral("screenshot"))) w.resize(1440, 1120);
    w.show();
    if (cli.isSet(QStringLiteral("screenshot"))) {
        const QString out = cli.value(QStringLiteral("screenshot"));
        QTimer::singleShot(800, &w, [&w, out] {
            // Scroll the highlighted panel into view again now the window has its size.
            if (w.map()->PolyCount() > 0) w.map()->HighlightPoly(104);
            QTimer::singleShot(300, &w, [&w, out] {
                const bool ok = w.grab().save(out);
                std::printf("screenshot %s: %s\n", qPrintable(out), ok ? "saved" : "FAILED");
                QApplication::exit(ok ? 0 : 1);
            });
        });
    }
    return app.exec();
}
