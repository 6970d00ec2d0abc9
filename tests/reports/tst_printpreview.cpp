// The print preview window: its viewport and scroll bars on resize, scrolling the page,
// focus, and its placement.
#include "forms.h"
#include "frmPrintPreview.h"
#include "helpers.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QScrollBar>
#include <QtTest>

#include <memory>

namespace {

// Twips of a pixel length.
double Tw(int px) { return px * 15.0; }

}  // namespace

class tst_printpreview : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;

    // A preview with an A4-sized page (11906 x 16838 twips).
    frmPrintPreview* make(const QSize& window)
    {
        auto* w = new frmPrintPreview;
        w->pic->setPageSize(QSizeF(11906, 16838));
        w->resize(window);
        w->show();
        w->Form_Resize();
        return w;
    }

private slots:
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

    void layout_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<bool>("horizontal");
        QTest::newRow("smaller than the page") << QSize(500, 400) << true << true;
        QTest::newRow("as wide as the page") << QSize(900, 500) << true << false;
        QTest::newRow("larger than the page") << QSize(1000, 1300) << false << false;
    }
    void layout()
    {
        QFETCH(QSize, window);
        QFETCH(bool, vertical);
        QFETCH(bool, horizontal);
        frmPrintPreview* w = make(window);
        QCOMPARE(w->windowTitle(), QStringLiteral("Print Preview"));
        const double W = Tw(w->width()), H = Tw(w->height());
        const double vLeft = std::max(W - Tw(w->VScroll1->width()), 100.0);
        const double hTop = std::max(H - Tw(w->HScroll1->height()), 100.0);
        QCOMPARE(w->VScroll1->x(), TwipsToPixels(vLeft));
        QCOMPARE(w->HScroll1->y(), TwipsToPixels(hTop));
        QCOMPARE(w->picContainer->geometry(), QRect(0, 0, TwipsToPixels(vLeft), TwipsToPixels(hTop)));
        QCOMPARE(w->VScroll1->isVisible(), vertical);
        QCOMPARE(w->HScroll1->isVisible(), horizontal);
        const double contW = Tw(w->picContainer->width()), contH = Tw(w->picContainer->height());
        if (vertical) {
            QCOMPARE(w->VScroll1->maximum(), int(RoundHalfEven(Tw(w->pic->height()) - contH)));
            QCOMPARE(w->VScroll1->pageStep(), int(RoundHalfEven(contH * 2 / 3)));
            QCOMPARE(w->VScroll1->height(), TwipsToPixels(H - Tw(w->HScroll1->height())));
        }
        if (horizontal) {
            QCOMPARE(w->HScroll1->maximum(), int(RoundHalfEven(Tw(w->pic->width()) - contW)));
            QCOMPARE(w->HScroll1->pageStep(), int(RoundHalfEven(contW * 2 / 3)));
            QCOMPARE(w->HScroll1->width(), TwipsToPixels(W - Tw(w->VScroll1->width())));
        }
    }

    // Smaller than a scroll bar: the bars stay at 100 twips and nothing fails.
    void layout_tinyWindow()
    {
        frmPrintPreview* w = make(QSize(4, 4));
        w->resize(4, 4);
        w->Form_Resize();
        QCOMPARE(w->VScroll1->x(), TwipsToPixels(100));
        QCOMPARE(w->HScroll1->y(), TwipsToPixels(100));
        QVERIFY(w->VScroll1->height() > 0);
        QVERIFY(w->HScroll1->width() > 0);
    }

    void scrolling_movesThePageWhileDragging()
    {
        frmPrintPreview* w = make(QSize(500, 400));
        w->VScroll1->setSliderDown(true);
        w->VScroll1->setSliderPosition(3000);  // a drag, before the release
        QCOMPARE(w->pic->y(), -TwipsToPixels(3000));
        w->VScroll1->setSliderDown(false);
        w->HScroll1->setValue(1500);
        QCOMPARE(w->pic->x(), -TwipsToPixels(1500));

        // A resize keeps the position; a window larger than the page hides the bars.
        w->resize(520, 420);
        QCOMPARE(w->VScroll1->value(), 3000);
        QCOMPARE(w->pic->y(), -TwipsToPixels(3000));
        w->resize(1000, 1300);
        QVERIFY(!w->VScroll1->isVisible() && !w->HScroll1->isVisible());
        QCOMPARE(w->pic->pos(), QPoint(-TwipsToPixels(1500), -TwipsToPixels(3000)));
    }

    void focus_onABarGoesToTheViewport()
    {
        frmPrintPreview* w = make(QSize(500, 400));
        QApplicationPrivate_setActive(w);
        w->HScroll1->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), w->picContainer);
        w->VScroll1->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), w->picContainer);
    }

    void placement_isKept()
    {
        frmPrintPreview* w = make(QSize(610, 470));
        w->move(40, 50);
        const QRect placed = w->geometry();
        QVERIFY(w->Unload());
        auto* again = new frmPrintPreview;
        QCOMPARE(again->size(), placed.size());
    }

private:
    static void QApplicationPrivate_setActive(QWidget* w)
    {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
};

QTEST_MAIN(tst_printpreview)
#include "tst_printpreview.moc"
