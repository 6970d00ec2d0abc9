#include "mapwindows.h"

#include "clicklabel.h"
#include "dbinventory.h"
#include "forms.h"
#include "frmAbout.h"
#include "helpers.h"
#include "modkrv.h"
#include "prompt.h"
#include "settings.h"
#include "uihelpers.h"

#include <QAction>
#include <QList>
#include <QMenu>
#include <QPointer>

QAction* MenuItem(QMenu* menu, const QString& text, const char* name)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    return a;
}

QMenu* SubMenu(QMenu* parent, const QString& text, const char* name)
{
    QMenu* m = parent->addMenu(text);
    m->setObjectName(QLatin1String(name));
    m->menuAction()->setObjectName(QLatin1String(name));
    return m;
}

void LogFormError(const QString& message, const QString& form, const std::exception& e)
{
    if (const auto* z = dynamic_cast<const zv::Error*>(&e))
        LogError(message, form, z->number(), z->text());
    else
        LogError(message, form, e);
}

zv::Poly ToPoly(const Outline& outline)
{
    zv::Poly poly;
    poly.Pt.reserve(outline.size());
    for (const OutlinePoint& p : outline)
        poly.Pt.append({p.x, p.y});
    return poly;
}

// ---------------------------------------------------------------- tunnel-picture windows

ZVMap* NewTunnelPictureMap(QWidget* window, ZVMap* old)
{
    if (old) {
        old->hide();
        old->setObjectName(QString());
        old->deleteLater();
    }
    auto* map = new ZVMap(window);
    map->setObjectName(QStringLiteral("ZVMap1"));
    map->setBorderStyle(1);
    // The drawing tool's own warnings go through the prompt service like every other message.
    map->setMessageHandler(
        [](const QString& title, const QString& text) { MsgBox(text, MsgButtons::Ok, MsgIcon::Warning, title); });
    return map;
}

void UnloadOtherInstances(QWidget* window, const QString& form)
{
    QList<QPointer<QWidget>> earlier;
    for (QWidget* w : LoadedForms())
        if (w != window && w->objectName().compare(form, Qt::CaseInsensitive) == 0)
            earlier << w;
    for (const auto& w : earlier)
        if (w)
            UnloadForm(w);
    if (!earlier.isEmpty())
        RestoreFormPosition(window);
}

LoadedTunnelBorder ShowTunnelBorder(ZVMap* map, qint32 tunnelId)
{
    const LoadedTunnelBorder border{DbGetTunnelValue(tunnelId, QStringLiteral("TunnelForeground")),
                                    DbGetTunnelValue(tunnelId, QStringLiteral("DrawWidth"))};
    map->setForeColor(quint32(DbGetTunnelForeground(tunnelId)));
    map->setDrawWidth(qint16(qBound(1, DbGetTunnelDrawWidth(tunnelId), 5)));
    return border;
}

Outline ShowPanelOutline(ZVMap* map, qint32 panelId)
{
    const Outline outline = DbGetPanelOutline(panelId);
    if (!outline.isEmpty())
        map->SetPoly(panelId, ToPoly(outline));
    return outline;
}

std::optional<qint16> AskBorderWidth(qint16 current)
{
    for (;;) {
        const QString text = Prompt()
                                 .inputText(QStringLiteral("Change border width from ") + QString::number(current) +
                                                QStringLiteral(" to: (5 max)"),
                                            QStringLiteral("Border Width"), QString())
                                 .value_or(QString());
        if (text.isEmpty())
            return std::nullopt;
        const double v = Val(text);
        if (text.trimmed().size() == 1 && v > 0 && v <= 5)
            return qint16(v);
        MsgBox(QStringLiteral("You must enter a value between 1 and 5."), MsgButtons::Ok, MsgIcon::Warning,
               QStringLiteral("Border Width"));
        if (v > 0 && v <= 5)  // in range but not one digit ("2.5"): told once
            return std::nullopt;
    }
}

void ChangeTunnelBorderColour(ZVMap* map, qint32 tunnelId, const QString& tunnelName, LoadedTunnelBorder& border)
{
    const std::optional<quint32> colour = Prompt().chooseColor(map->ForeColor(), QString());
    if (!colour || *colour == map->ForeColor())
        return;
    // Stored before it is shown, so the map never claims a colour the next opening will not have.
    const SaveOutcome out = DbSaveTunnelValue(tunnelId, tunnelName, QStringLiteral("TunnelForeground"),
                                              border.foreground, qint32(*colour));
    if (!out.saved())
        return;
    if (out.showStored()) {
        border.foreground = DbGetTunnelValue(tunnelId, QStringLiteral("TunnelForeground"));
        map->setForeColor(quint32(DbGetTunnelForeground(tunnelId)));
        return;
    }
    border.foreground = qint32(*colour);
    map->setForeColor(*colour);
}

PanZoomItems AddPanZoomItems(QMenu* popup)
{
    PanZoomItems items{};
    items.pan = MenuItem(popup, QStringLiteral("Pan"), "mnuPan");
    items.pan->setCheckable(true);
    items.zoom = SubMenu(popup, QStringLiteral("Zoom"), "mnuZoom");
    items.zoom50 = MenuItem(items.zoom, QStringLiteral("50%"), "mnuZoom50");
    items.zoom100 = MenuItem(items.zoom, QStringLiteral("100%"), "mnuZoom100");
    items.zoom150 = MenuItem(items.zoom, QStringLiteral("150%"), "mnuZoom150");
    items.zoom200 = MenuItem(items.zoom, QStringLiteral("200%"), "mnuZoom200");
    popup->addSeparator()->setObjectName(QStringLiteral("mnuSep"));
    return items;
}

void AddLogo(QWidget* parent, int top, const char* captionName, ClickLabel*& image, ClickLabel*& caption)
{
    image = new ClickLabel(QString(), parent);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(ProgramLogo(40));
    image->setGeometry(TwipRect(0, top, 600, 600));
    caption = new ClickLabel(QStringLiteral("Quorrel"), parent);
    caption->setObjectName(QLatin1String(captionName));
    caption->setGeometry(TwipRect(0, top + 630, 1200, 300));
}

int ArrangeMapAndData(QWidget* window, ZVMap* map, QWidget* data, int dataHeight, int dataInset, int minDataWidth)
{
    constexpr int kMapLeft = 120;
    constexpr int kMapTop = 120;
    const int innerW = int(PixelsToTwips(window->width()));
    const int innerH = int(PixelsToTwips(window->height()));
    const int dataTop = VarMax(825, innerH - dataHeight);
    const int mapW = VarMax(1000, innerW - kMapLeft);
    const int mapH = VarMax(500, innerH - dataHeight - 100 - kMapTop);
    const int dataW = VarMax(minDataWidth, mapW - dataInset);
    map->setGeometry(TwipRect(kMapLeft, kMapTop, mapW, mapH));
    data->setGeometry(TwipRect(kMapLeft, dataTop, dataW, dataHeight));
    return dataW;
}

void ChangeMapPicture(ZVMap* map, const QString& path, const std::function<void()>& store)
{
    const QString previous = map->Image();
    try {
        map->setImage(path);
        store();
    } catch (...) {
        try {
            if (previous.isEmpty())
                map->ClearImage();
            else
                map->setImage(previous);
        } catch (const zv::Error&) {
            map->ClearImage();
        }
        throw;
    }
}
