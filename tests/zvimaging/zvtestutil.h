#pragma once
// Small fixtures shared by the map control tests.

#include "zvmap.h"

#include <QApplication>
#include <QStringList>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>

namespace zvtest {

using Pts = QVector<zv::Point>;

inline QString makePicture(const QTemporaryDir& dir, int w, int h, const char* name = "pic.png",
                           QColor fill = Qt::white)
{
    QImage im(w, h, QImage::Format_RGB32);
    im.fill(fill);
    const QString path = dir.filePath(QString::fromLatin1(name));
    im.save(path);
    return path;
}

inline zv::Poly poly(std::initializer_list<zv::Point> pts)
{
    zv::Poly p;
    p.Pt = QVector<zv::Point>(pts);
    return p;
}

inline zv::Poly rect(int x, int y, int w, int h) { return poly({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}); }

// Sends a mouse event to the viewport at an exact display position (twips), scrolling included.
inline void send(ZVMap& map, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, double x,
                 double y, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* vp = map.findChild<QWidget*>(QStringLiteral("picContainer"));
    const QPointF local((x + map.SurfaceLeft()) / 15.0, (y + map.SurfaceTop()) / 15.0);
    const QPointF global = vp->mapToGlobal(local);
    QMouseEvent ev(type, local, global, button, buttons, mods);
    QApplication::sendEvent(vp, &ev);
}

inline void press(ZVMap& m, double x, double y, Qt::MouseButton b = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    send(m, QEvent::MouseButtonPress, b, b, x, y, mods);
}

inline void release(ZVMap& m, double x, double y, Qt::MouseButton b = Qt::LeftButton,
                    Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    send(m, QEvent::MouseButtonRelease, b, Qt::NoButton, x, y, mods);
}

inline void move(ZVMap& m, double x, double y, Qt::MouseButtons held = Qt::NoButton)
{
    send(m, QEvent::MouseMove, Qt::NoButton, held, x, y);
}

inline void click(ZVMap& m, double x, double y, Qt::MouseButton b = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    press(m, x, y, b, mods);
    release(m, x, y, b, mods);
}

// Everything the control reports, in order, as text.
struct Recorder {
    QStringList events;
    QVector<Pts> points;
    qint32 outId = 0;
    bool cancel = false;
    QString tip;
    QStringList messages;

    void attach(ZVMap& m)
    {
        QObject::connect(&m, &ZVMap::Click, [this] { events << "Click"; });
        QObject::connect(&m, &ZVMap::MouseDown, [this](qint16 b, qint16 s, float, float) {
            events << QString("MouseDown %1 %2").arg(b).arg(s);
        });
        QObject::connect(&m, &ZVMap::MouseUp, [this](qint16 b, qint16, float, float) { events << QString("MouseUp %1").arg(b); });
        QObject::connect(&m, &ZVMap::PolyHit, [this](qint32 id, qint16 s) { events << QString("PolyHit %1 %2").arg(id).arg(s); });
        QObject::connect(&m, &ZVMap::PolyIdentified, [this](qint32& id, const Pts& p, bool& c) {
            events << "PolyIdentified";
            points << p;
            id = outId;
            c = cancel;
        });
        QObject::connect(&m, &ZVMap::PolyMoved, [this](qint32 id, const Pts& p) {
            events << QString("PolyMoved %1").arg(id);
            points << p;
        });
        QObject::connect(&m, &ZVMap::PolyPasted, [this](qint32 id, const Pts& p) {
            events << QString("PolyPasted %1").arg(id);
            points << p;
        });
        QObject::connect(&m, &ZVMap::PointMoved, [this](qint32 id, const Pts& p) {
            events << QString("PointMoved %1").arg(id);
            points << p;
        });
        QObject::connect(&m, &ZVMap::PolyMouseOver, [this](qint32 id, QString& t) {
            events << QString("PolyMouseOver %1").arg(id);
            t = tip;
        });
        m.setMessageHandler([this](const QString& title, const QString& text) { messages << title + ": " + text; });
    }
    QStringList take()
    {
        QStringList e = events;
        events.clear();
        return e;
    }
};


}  // namespace zvtest
