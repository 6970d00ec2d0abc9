#include "demodata.h"

#include "db.h"
#include "passwords.h"
#include "savefile.h"
#include "schema.h"
#include "settings.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <cmath>

namespace {

constexpr int kTwips = 15;  // outline points are twips of the picture at 100 %

struct TunnelPlan {
    const char* name;
    QPointF from, to;       // centre line on the system map, pixels
    int columns;            // panels along the tunnel, per wall
    quint32 colour;         // BGR outline colour of its panels
};

// Five tunnels on a 1600 x 1000 map.
const TunnelPlan kTunnels[] = {
    {"North Bore", {180, 170}, {720, 260}, 10, 0x000000FF},
    {"Harbour Crossing", {860, 520}, {1420, 760}, 12, 0x0000E6FF},
    {"Ridge Line", {300, 640}, {700, 880}, 8, 0x00FF8000},
    {"East Portal", {1050, 150}, {1480, 330}, 9, 0x0000C000},
    {"Canal Underpass", {760, 380}, {880, 700}, 6, 0x00FF00FF},
};

struct ElementDef {
    const char* category;
    const char* name;
};
const char* const kCategories[] = {"Structure", "Drainage", "Electrical", "Ventilation"};
const ElementDef kElements[] = {
    {"Structure", "Lining"},      {"Structure", "Joints"},         {"Structure", "Invert"},
    {"Structure", "Portal"},      {"Drainage", "Gutter"},          {"Drainage", "Catch Basin"},
    {"Drainage", "Pipe"},         {"Electrical", "Lighting"},      {"Electrical", "Conduit"},
    {"Electrical", "Signs"},      {"Ventilation", "Jet Fans"},     {"Ventilation", "Dampers"},
};
const int kYears[] = {2022, 2024, 2026};  // the last one entered, not posted yet
const char* const kUnits[] = {"sq ft", "lin ft", "Each", "cu yd"};
const char* const kDefects[] = {"Spalling with exposed rebar", "Longitudinal crack, efflorescence",
                                "Leaking joint, active drip", "Corroded hanger", "Clogged inlet",
                                "Delamination over 2 ft", "Missing luminaire cover"};
const char* const kComments[] = {"Minor staining near crown; monitor.",
                                 "Water infiltration at construction joint after heavy rain.",
                                 "Cleaned debris from gutter during inspection.",
                                 "Access limited by traffic control; partial inspection.",
                                 "Previous repair holding well.",
                                 "Rust bleeding at two anchor locations."};

class Demo {
public:
    Demo(QString folder) : m_folder(std::move(folder)), m_conn(QStringLiteral("krv-demo")), m_rand(20261210) {}

    void run();

private:
    QString data() const { return m_folder + QStringLiteral("/Data/"); }
    static void save(const QImage& image, const QString& path, const char* format, int quality = -1);
    QPolygonF tunnelOutline(const TunnelPlan& t) const;
    void drawSystemMap();
    QVector<QPolygonF> drawTunnelPicture(const TunnelPlan& t, const QString& path);
    void drawPhoto(const QString& path, const QString& caption, int seed);
    void drawSketch(const QString& path, const QString& caption);
    void fill();
    int rnd(int lo, int hi) { return int(m_rand.bounded(lo, hi + 1)); }

    QString m_folder;
    Connection m_conn;
    QRandomGenerator m_rand;
};

void Demo::save(const QImage& image, const QString& path, const char* format, int quality)
{
    SaveFile f(path);
    if (!f.open() || !image.save(&f, format, quality) || !f.commit())
        throw KrvError(ErrNo::PermissionDenied, f.failureText().isEmpty()
                                                    ? QStringLiteral("%1 cannot be written.").arg(path)
                                                    : f.failureText());
}

QPolygonF Demo::tunnelOutline(const TunnelPlan& t) const
{
    const QPointF d = t.to - t.from;
    const double len = std::hypot(d.x(), d.y());
    const QPointF n(-d.y() / len * 16, d.x() / len * 16);  // half width 16 px
    const QPointF a(d.x() / len * 10, d.y() / len * 10);   // a little past each portal
    return QPolygonF({t.from - a + n, t.to + a + n, t.to + a - n, t.from - a - n});
}

void Demo::drawSystemMap()
{
    QImage img(1600, 1000, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ground(0, 0, 1600, 1000);
    ground.setColorAt(0, QColor(226, 232, 206));
    ground.setColorAt(1, QColor(205, 214, 186));
    p.fillRect(img.rect(), ground);
    // Hills.
    p.setPen(QPen(QColor(170, 180, 150), 1));
    for (int r = 60; r < 400; r += 40)
        p.drawEllipse(QPointF(420, 760), r * 1.4, r * 0.8);
    // Harbour and river.
    QPainterPath water;
    water.moveTo(1600, 520);
    water.cubicTo(1300, 600, 1100, 580, 950, 640);
    water.cubicTo(820, 690, 700, 520, 560, 450);
    water.cubicTo(420, 380, 200, 420, 0, 360);
    p.setPen(QPen(QColor(110, 160, 210), 46, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(water);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 170, 215));
    p.drawRect(1320, 560, 280, 440);
    // Roads.
    p.setPen(QPen(QColor(150, 150, 150), 7));
    p.drawLine(0, 300, 1600, 200);
    p.drawLine(600, 0, 900, 1000);
    p.drawLine(0, 900, 1600, 820);
    p.setPen(QPen(QColor(250, 250, 250), 1, Qt::DashLine));
    p.drawLine(0, 300, 1600, 200);
    p.drawLine(600, 0, 900, 1000);
    p.drawLine(0, 900, 1600, 820);
    // Tunnels: dark bore between portals.
    QFont font = p.font();
    font.setPixelSize(18);
    font.setBold(true);
    p.setFont(font);
    for (const TunnelPlan& t : kTunnels) {
        p.setPen(QPen(QColor(60, 60, 60), 14, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(t.from, t.to);
        p.setPen(QPen(QColor(250, 250, 250), 2, Qt::DashLine));
        p.drawLine(t.from, t.to);
        p.setPen(QPen(QColor(40, 40, 40), 4));
        for (QPointF portal : {t.from, t.to})
            p.drawEllipse(portal, 9, 9);
        p.setPen(QColor(30, 30, 30));
        const QPointF mid = (t.from + t.to) / 2;
        p.drawText(QRectF(mid.x() - 150, mid.y() + 20, 300, 28), Qt::AlignCenter, QString::fromUtf8(t.name));
    }
    font.setPixelSize(30);
    p.setFont(font);
    p.drawText(QRectF(20, 930, 800, 50), Qt::AlignLeft, QStringLiteral("Quorrel Tunnel System"));
    // North arrow.
    p.setBrush(QColor(40, 40, 40));
    p.drawPolygon(QPolygonF({{1540, 30}, {1555, 80}, {1540, 70}, {1525, 80}}));
    p.end();
    save(img, data() + QStringLiteral("SystemMap.png"), "PNG");
}

QVector<QPolygonF> Demo::drawTunnelPicture(const TunnelPlan& t, const QString& path)
{
    const int margin = 60, panelW = 150, wallH = 230, roadH = 120;
    const int width = margin * 2 + panelW * t.columns;
    const int height = margin * 2 + wallH * 2 + roadH + 60;
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(QColor(245, 245, 240));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const int top = margin + 40;
    // Walls as concrete, the roadway between them.
    QRandomGenerator noise(quint32(qHash(QString::fromUtf8(t.name))));
    for (int wall = 0; wall < 2; ++wall) {
        const QRect r(margin, top + wall * (wallH + roadH), panelW * t.columns, wallH);
        p.fillRect(r, QColor(196, 194, 188));
        p.setPen(QColor(176, 174, 168));
        for (int i = 0; i < 900; ++i)
            p.drawPoint(r.left() + int(noise.bounded(r.width())), r.top() + int(noise.bounded(r.height())));
    }
    const QRect road(margin, top + wallH, panelW * t.columns, roadH);
    p.fillRect(road, QColor(90, 90, 96));
    p.setPen(QPen(QColor(240, 210, 60), 3, Qt::DashLine));
    p.drawLine(road.left(), road.center().y(), road.right(), road.center().y());
    // Joints, stations and a few cracks.
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    QVector<QPolygonF> panels;
    for (int wall = 0; wall < 2; ++wall) {
        const int y = top + wall * (wallH + roadH);
        for (int c = 0; c < t.columns; ++c) {
            const int x = margin + c * panelW;
            p.setPen(QPen(QColor(90, 90, 90), 2));
            p.drawRect(x, y, panelW, wallH);
            p.setPen(QPen(QColor(80, 70, 60), 1));
            if (noise.bounded(3) == 0) {
                QPainterPath crack;
                crack.moveTo(x + 20 + noise.bounded(100), y + 10);
                for (int k = 0; k < 6; ++k)
                    crack.lineTo(x + 15 + noise.bounded(120), y + 30 + k * 32);
                p.drawPath(crack);
            }
            // Outline a little inside the joints, as the panel is drawn on the picture.
            panels << QPolygonF({QPointF(x + 4, y + 4), QPointF(x + panelW - 4, y + 4),
                                 QPointF(x + panelW - 4, y + wallH - 4), QPointF(x + 4, y + wallH - 4)});
        }
    }
    p.setPen(QColor(40, 40, 40));
    for (int c = 0; c <= t.columns; ++c)
        p.drawText(QRectF(margin + c * panelW - 40, top - 30, 80, 20), Qt::AlignCenter,
                   QStringLiteral("%1+00").arg(c * 2));
    p.drawText(QRectF(8, top + wallH / 2 - 10, 50, 20), Qt::AlignCenter, QStringLiteral("N"));
    p.drawText(QRectF(8, top + wallH + roadH + wallH / 2 - 10, 50, 20), Qt::AlignCenter, QStringLiteral("S"));
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(margin, 10, width - 2 * margin, 30), Qt::AlignLeft,
               QStringLiteral("%1 - developed wall elevation").arg(QString::fromUtf8(t.name)));
    p.end();
    save(img, path, "PNG");
    return panels;
}

void Demo::drawPhoto(const QString& path, const QString& caption, int seed)
{
    QImage img(640, 480, QImage::Format_RGB32);
    QRandomGenerator r{quint32(seed)};
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient light(0, 0, 640, 480);
    light.setColorAt(0, QColor(170, 168, 160));
    light.setColorAt(1, QColor(110, 108, 104));
    p.fillRect(img.rect(), light);
    for (int i = 0; i < 5000; ++i) {
        const int g = 90 + int(r.bounded(90));
        p.setPen(QColor(g, g - 2, g - 6));
        p.drawPoint(int(r.bounded(640)), int(r.bounded(480)));
    }
    p.setPen(QPen(QColor(40, 34, 30), 3));
    QPainterPath crack;
    crack.moveTo(80 + r.bounded(100), 0);
    for (int k = 1; k <= 8; ++k)
        crack.lineTo(120 + r.bounded(400), k * 60);
    p.drawPath(crack);
    p.setBrush(QColor(150, 90, 60, 120));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(200 + r.bounded(240), 150 + r.bounded(180)), 60, 35);
    p.fillRect(QRect(0, 440, 640, 40), QColor(0, 0, 0, 150));
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(18);
    p.setFont(font);
    p.drawText(QRect(10, 440, 620, 40), Qt::AlignVCenter | Qt::AlignLeft, caption);
    p.end();
    save(img, path, "JPG", 80);
}

void Demo::drawSketch(const QString& path, const QString& caption)
{
    QImage img(800, 600, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.drawRect(60, 80, 680, 420);
    p.setPen(QPen(Qt::red, 3));
    p.drawLine(200, 120, 320, 300);
    p.drawLine(320, 300, 290, 460);
    p.drawEllipse(QPointF(520, 260), 70, 40);
    p.setPen(Qt::black);
    QFont font = p.font();
    font.setPixelSize(20);
    p.setFont(font);
    p.drawText(QRect(60, 20, 680, 40), Qt::AlignLeft, caption);
    p.drawText(QRect(430, 310, 240, 30), Qt::AlignLeft, QStringLiteral("spall 3 sq ft"));
    p.end();
    save(img, path, "PNG");
}

void Demo::fill()
{
    TxGuard tx(m_conn);
    const qint64 systemId = m_conn.insertAutoNumber(
        QStringLiteral("System"), {{QStringLiteral("SystemName"), QStringLiteral("Quorrel Tunnel System")},
                                   {QStringLiteral("SystemPicture"), QStringLiteral("SystemMap.png")},
                                   {QStringLiteral("DrawWidth"), 3},
                                   {QStringLiteral("SystemForeground"), 0x0000E6FF},
                                   {QStringLiteral("View"), 1},
                                   {QStringLiteral("WarningHighlight"), 5},
                                   {QStringLiteral("CriticalHighlight"), 3}});

    for (const DemoUser& u : kDemoUsers)
        m_conn.exec(QStringLiteral("INSERT INTO login (Username, Password, Wizard, DataEntry) VALUES (?, ?, ?, ?)"),
                    {QString::fromUtf8(u.name), HashPassword(QString::fromUtf8(u.password)), int(u.wizard),
                     int(u.dataEntry)});

    QHash<QString, qint64> categoryIds;
    int sort = 1;
    for (const char* c : kCategories)
        categoryIds[QString::fromUtf8(c)] = m_conn.insertAutoNumber(
            QStringLiteral("ElementCategory"),
            {{QStringLiteral("EleCategoryName"), QString::fromUtf8(c)}, {QStringLiteral("EleCategorySort"), sort++}});
    QVector<int> elementIds;
    int elementId = 0;  // the first element of an empty table is 0
    for (const ElementDef& e : kElements) {
        m_conn.exec(QStringLiteral("INSERT INTO AvailableElements (ElementID, ElementName, ElementCategory) "
                                   "VALUES (?, ?, ?)"),
                    {elementId, QString::fromUtf8(e.name), categoryIds[QString::fromUtf8(e.category)]});
        elementIds << elementId++;
    }
    for (const char* u : kUnits)
        m_conn.exec(QStringLiteral("INSERT INTO UnitTypes (Unit) VALUES (?)"), {QString::fromUtf8(u)});

    QVector<qint64> expenseCats;
    for (const char* c : {"Inspection", "Structural Repair", "Cleaning", "Lighting"})
        expenseCats << m_conn.insertAutoNumber(QStringLiteral("ExpenditureCats"),
                                               {{QStringLiteral("Category"), QString::fromUtf8(c)}});
    const qint64 tabConstruction = m_conn.insertAutoNumber(
        QStringLiteral("TabDefinitions"),
        {{QStringLiteral("TabIndex"), 0}, {QStringLiteral("TabCaption"), QStringLiteral("Construction")}});
    const qint64 tabNotes = m_conn.insertAutoNumber(
        QStringLiteral("TabDefinitions"),
        {{QStringLiteral("TabIndex"), 1}, {QStringLiteral("TabCaption"), QStringLiteral("Access Notes")}});

    int photoSerial = 0;
    for (const TunnelPlan& t : kTunnels) {
        const QString name = QString::fromUtf8(t.name);
        const QString tunnelFolder = data() + name + QLatin1Char('/');
        QDir().mkpath(tunnelFolder);
        const QString pictureName = name + QStringLiteral(".png");
        const QVector<QPolygonF> outlines = drawTunnelPicture(t, tunnelFolder + pictureName);

        const qint64 tunnelId = m_conn.insertAutoNumber(
            QStringLiteral("Tunnels"), {{QStringLiteral("SystemID"), systemId},
                                        {QStringLiteral("TunnelName"), name},
                                        {QStringLiteral("TunnelPicture"), pictureName},
                                        {QStringLiteral("TunnelForeground"), t.colour},
                                        {QStringLiteral("DrawWidth"), 2}});
        const QPolygonF outline = tunnelOutline(t);
        for (int i = 0; i < outline.size(); ++i)
            m_conn.exec(QStringLiteral("INSERT INTO TunnelCoord (TunnelID, CoordIndex, TunnelX, TunnelY) "
                                       "VALUES (?, ?, ?, ?)"),
                        {tunnelId, i + 1, qRound(outline[i].x()) * kTwips, qRound(outline[i].y()) * kTwips});

        // Panels: north wall N-01.., then south wall S-01..
        struct PanelRow {
            qint64 id;
            QString name;
            QVector<int> elements;
        };
        QVector<PanelRow> panels;
        for (int i = 0; i < outlines.size(); ++i) {
            const bool north = i < t.columns;
            const QString panelName =
                QStringLiteral("%1-%2").arg(north ? "N" : "S").arg((north ? i : i - t.columns) + 1, 2, 10, QChar('0'));
            const qint64 panelId = m_conn.insertAutoNumber(
                QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnelId},
                                           {QStringLiteral("PanelNum"), i + 1},
                                           {QStringLiteral("PanelName"), panelName}});
            for (int k = 0; k < outlines[i].size(); ++k)
                m_conn.exec(QStringLiteral("INSERT INTO PanelCoord (PanelID, CoordIndex, PanelX, PanelY) "
                                           "VALUES (?, ?, ?, ?)"),
                            {panelId, k + 1, qRound(outlines[i][k].x()) * kTwips, qRound(outlines[i][k].y()) * kTwips});
            PanelRow row{panelId, panelName, {}};
            for (int e : elementIds) {
                // Every panel has lining and joints; the rest by chance. Portals at the ends only.
                const QString ename = QString::fromUtf8(kElements[e].name);
                const bool end = (i % t.columns) == 0 || (i % t.columns) == t.columns - 1;
                const bool take = e < 2 || (ename == QStringLiteral("Portal") ? end : rnd(0, 2) > 0);
                if (take) {
                    m_conn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"),
                                {panelId, e});
                    row.elements << e;
                }
            }
            panels << row;
            if (rnd(0, 3) == 0)
                m_conn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (?, ?, ?)"),
                            {tabConstruction, panelId,
                             QStringLiteral("Cast-in-place concrete, 1968. Lining thickness 18 in.")});
            if (rnd(0, 5) == 0)
                m_conn.exec(QStringLiteral("INSERT INTO TabData (TabID, PanelID, TabData) VALUES (?, ?, ?)"),
                            {tabNotes, panelId, QStringLiteral("Lane closure needed; bucket truck from east portal.")});
        }

        // Inspection years; ratings wear down a little from one to the next.
        QHash<QPair<qint64, int>, int> lastRating;
        for (int y = 0; y < int(std::size(kYears)); ++y) {
            const int year = kYears[y];
            const bool posted = y + 1 < int(std::size(kYears));
            const qint64 inspectionId = m_conn.insertAutoNumber(
                QStringLiteral("InspectionPeriod"),
                {{QStringLiteral("TunnelID"), tunnelId}, {QStringLiteral("InspectionYear"), year}});
            const QString yearFolder = tunnelFolder + QString::number(year) + QLatin1Char('/');
            for (const char* sub : {"photo", "sketch", "video"})
                QDir().mkpath(yearFolder + QString::fromUtf8(sub));

            auto postedCopy = [&](const QString& sql, const QVariantList& binds) {
                if (posted)
                    m_conn.exec(sql, binds);
            };
            for (const PanelRow& panel : panels) {
                for (int e : panel.elements) {
                    const auto key = qMakePair(panel.id, e);
                    // Mostly sound, wearing a little each period; now and then a real problem.
                    int rating = lastRating.contains(key) ? lastRating[key] - (rnd(0, 5) == 0 ? 1 : 0) : rnd(6, 9);
                    if (rnd(0, 120) == 0)
                        rating = rnd(2, 5);
                    rating = std::clamp(rating, 0, 9);
                    lastRating[key] = rating;
                    m_conn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating, Posted) "
                                               "VALUES (?, ?, ?, ?, ?)"),
                                {inspectionId, panel.id, e, rating, int(posted)});
                    postedCopy(QStringLiteral("INSERT INTO RatingsPosted (InspectionID, PanelID, ElementID, Rating) "
                                              "VALUES (?, ?, ?, ?)"),
                               {inspectionId, panel.id, e, rating});
                }
                if (rnd(0, 3) == 0) {
                    const QString comment = QString::fromUtf8(kComments[rnd(0, int(std::size(kComments)) - 1)]);
                    m_conn.exec(QStringLiteral("INSERT INTO PanelComments (InspectionID, PanelID, Comments, Posted) "
                                               "VALUES (?, ?, ?, ?)"),
                                {inspectionId, panel.id, comment, int(posted)});
                    postedCopy(QStringLiteral("INSERT INTO PanelCommentsPosted (InspectionID, PanelID, Comments) "
                                              "VALUES (?, ?, ?)"),
                               {inspectionId, panel.id, comment});
                }
                if (rnd(0, 4) == 0) {
                    const double qty = rnd(1, 40);
                    const double unitCost = rnd(2, 60) * 5.0;
                    const QString unit = QString::fromUtf8(kUnits[rnd(0, int(std::size(kUnits)) - 1)]);
                    const QString desc = QString::fromUtf8(kDefects[rnd(0, int(std::size(kDefects)) - 1)]);
                    const qint64 id = m_conn.insertAutoNumber(
                        QStringLiteral("DefectQuantity"),
                        {{QStringLiteral("PanelID"), panel.id}, {QStringLiteral("InspectionID"), inspectionId},
                         {QStringLiteral("Quantity"), qty}, {QStringLiteral("Units"), unit},
                         {QStringLiteral("UnitCost"), unitCost}, {QStringLiteral("TotalCost"), qty * unitCost},
                         {QStringLiteral("Description"), desc}, {QStringLiteral("Posted"), int(posted)}});
                    postedCopy(QStringLiteral("INSERT INTO DefectQuantityPosted (ID, PanelID, InspectionID, Quantity, "
                                              "Units, UnitCost, TotalCost, Description) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                               {id, panel.id, inspectionId, qty, unit, unitCost, qty * unitCost, desc});
                }
            }
            // Photos of the worst panels, and one field sketch.
            for (int n = 0; n < 3; ++n) {
                const PanelRow& panel = panels[rnd(0, int(panels.size()) - 1)];
                const int e = panel.elements[rnd(0, int(panel.elements.size()) - 1)];
                const QString file = QStringLiteral("%1_%2_%3.jpg")
                                         .arg(panel.name, QString::fromUtf8(kElements[e].name).remove(' '))
                                         .arg(++photoSerial);
                const QString caption = QStringLiteral("%1 %2 %3 - %4").arg(name, panel.name).arg(year).arg(
                    QString::fromUtf8(kElements[e].name));
                drawPhoto(yearFolder + QStringLiteral("photo/") + file, caption, photoSerial);
                const QString note = QStringLiteral("%1 at %2, looking east.").arg(
                    QString::fromUtf8(kDefects[rnd(0, int(std::size(kDefects)) - 1)]), panel.name);
                m_conn.exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, "
                                           "InspectionID, Annotation, Posted) VALUES (?, ?, ?, 0, ?, ?, ?)"),
                            {panel.id, e, file, inspectionId, note, int(posted)});
                postedCopy(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                          "InspectionID, Annotation) VALUES (?, ?, ?, 0, ?, ?)"),
                           {panel.id, e, file, inspectionId, note});
            }
            {
                const PanelRow& panel = panels.first();
                const QString file = QStringLiteral("%1_Lining_sketch.png").arg(panel.name);
                drawSketch(yearFolder + QStringLiteral("sketch/") + file,
                           QStringLiteral("Field sketch - %1 %2, %3").arg(name, panel.name).arg(year));
                m_conn.exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, "
                                           "InspectionID, Annotation, Posted) VALUES (?, ?, ?, 1, ?, ?, ?)"),
                            {panel.id, panel.elements.first(), file, inspectionId,
                             QStringLiteral("Crack map of the lining."), int(posted)});
                postedCopy(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                          "InspectionID, Annotation) VALUES (?, ?, ?, 1, ?, ?)"),
                           {panel.id, panel.elements.first(), file, inspectionId,
                            QStringLiteral("Crack map of the lining.")});
            }
            // Money spent on the tunnel that year.
            for (int n = 0; n < 3; ++n)
                m_conn.insertAutoNumber(
                    QStringLiteral("Expenditures"),
                    {{QStringLiteral("TunnelID"), tunnelId}, {QStringLiteral("Cost"), rnd(5, 400) * 125.0},
                     {QStringLiteral("Date"), QDate(year, rnd(1, 12), rnd(1, 28))},
                     {QStringLiteral("Comments"), QStringLiteral("Contract %1-%2").arg(year).arg(rnd(100, 999))},
                     {QStringLiteral("CategoryID"), expenseCats[rnd(0, int(expenseCats.size()) - 1)]}});
        }
        // Maintenance records per panel.
        for (int n = 0; n < 4; ++n) {
            const PanelRow& panel = panels[rnd(0, int(panels.size()) - 1)];
            m_conn.insertAutoNumber(QStringLiteral("RepairLogs"),
                                    {{QStringLiteral("PanelID"), panel.id},
                                     {QStringLiteral("RepairDate"), QDate(rnd(2022, 2026), rnd(1, 12), rnd(1, 28))},
                                     {QStringLiteral("RepairLog"),
                                      QStringLiteral("Patched spall with polymer mortar; sealed joint.")}});
        }
        const PanelRow& hit = panels[rnd(0, int(panels.size()) - 1)];
        m_conn.insertAutoNumber(QStringLiteral("Emergencies"),
                                {{QStringLiteral("PanelID"), hit.id},
                                 {QStringLiteral("EmergencyDate"), QDate(2025, rnd(1, 12), rnd(1, 28))},
                                 {QStringLiteral("Emergency"),
                                  QStringLiteral("Over-height truck struck the lining; lane closed 3 hours.")}});
    }
    tx.commit();
}

void Demo::run()
{
    QDir dir(m_folder);
    if (!dir.exists() && !QDir().mkpath(m_folder))
        throw KrvError(ErrNo::PathNotFound, QStringLiteral("The folder %1 cannot be made.").arg(m_folder));
    m_folder = QFileInfo(m_folder).absoluteFilePath();
    const QString dbPath = m_folder + QStringLiteral("/krv.db");
    if (QFileInfo::exists(dbPath))
        throw KrvError(-1, QStringLiteral("%1 already exists; the demo installation is left as it is.").arg(dbPath));

    QDir().mkpath(data());
    drawSystemMap();

    // Built under another name and renamed at the end, so a failure never leaves half a demo.
    const QString building = m_folder + QStringLiteral("/krv.db.building");
    QFile::remove(building);
    QString error;
    if (!CreateTunnelDatabase(building, &error))
        throw KrvError(-1, error);
    try {
        m_conn.open(building);
        fill();
        m_conn.close();
    } catch (...) {
        m_conn.close();
        QFile::remove(building);
        throw;
    }
    const QString reportDb = m_folder + QStringLiteral("/ReportData.db");
    if (!QFileInfo::exists(reportDb) && !CreateReportDatabase(reportDb, &error))
        throw KrvError(-1, error);

    // Paths relative to the folder (taken from the program folder when read), so the folder
    // still works once it is moved or copied.
    SetProgramFolder(m_folder);
    const QString ini = IniFilePath();
    for (const auto& [key, value] :
         {std::pair{"DatabaseFile", QStringLiteral("krv.db")}, std::pair{"ReportRatingsFile", QStringLiteral("ReportData.db")},
          std::pair{"SystemPath", QStringLiteral("Data/")}, std::pair{"DataCollector", QStringLiteral("No")}}) {
        if (!WriteIniString(ini, QStringLiteral("KRV"), QString::fromUtf8(key), value, &error))
            throw KrvError(-1, error);
    }
    if (!QFile::rename(building, dbPath))
        throw KrvError(-1, QStringLiteral("%1 cannot be written.").arg(dbPath));
}

}  // namespace

bool MakeDemoInstallation(const QString& folder, QString* error)
{
    try {
        Demo demo(folder);
        demo.run();
        return true;
    } catch (const KrvError& e) {
        if (error)
            *error = e.description();
    } catch (const std::exception& e) {
        if (error)
            *error = QString::fromLocal8Bit(e.what());
    }
    return false;
}
