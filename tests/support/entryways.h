#pragma once
// The ways text reaches a line edit other than typing it key by key, each as the desktop
// does it: the shortcut, the box's own context menu, a drop, and an insert by code.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStringList>
#include <QTest>

#include <memory>

inline QStringList EntryWays()
{
    return {QStringLiteral("ctrl+v"), QStringLiteral("menu paste"), QStringLiteral("drop"), QStringLiteral("insert")};
}

// Puts text into the box by way; the box's text is replaced (all of it is selected first).
inline void EnterByWay(QLineEdit* box, const QString& way, const QString& text)
{
    box->setFocus();
    box->selectAll();
    if (way == QLatin1String("ctrl+v")) {
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    } else if (way == QLatin1String("menu paste")) {
        // The entry of the menu the box shows on a right click.
        QGuiApplication::clipboard()->setText(text);
        std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
        QAction* paste = nullptr;
        for (QAction* a : menu->actions())
            if (a->text().remove(QLatin1Char('&')).startsWith(QLatin1String("Paste")))
                paste = a;
        QVERIFY(paste);
        paste->trigger();
    } else if (way == QLatin1String("drop")) {
        box->deselect();
        box->clear();
        QMimeData data;
        data.setText(text);
        const QPoint at = box->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &move);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &drop);
    } else {
        box->insert(text);
    }
}
