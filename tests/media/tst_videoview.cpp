// The clip player: the cells of an element's clips, their placement in twips, the
// selection with Previous, Next and the labels, and the scrolling of the strip.
#include "clicklabel.h"
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmDataInputCalls.h"
#include "frmVideoView.h"
#include "frmVideo_player.h"
#include "playererror.h"
#include "krverror.h"
#include "mediaforms.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMediaPlayer>
#include <QVideoWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace {
constexpr qint32 kPanel = 4;
constexpr qint32 kElement = 9;

bool marked(const QLabel* label)
{
    return label->frameShape() == QFrame::Box && label->autoFillBackground();
}
}  // namespace

class TestVideoView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_tunnel = 0;
    qint32 m_period = 0;
    QString m_folder;

    // Clips clip0.avi .. clip<n-1>.avi, each file in the folder and attached to the element.
    void clips(int n, qint32 element = kElement)
    {
        for (int i = 0; i < n; ++i) {
            const QString name = QStringLiteral("e%1clip%2.avi").arg(element).arg(i, 2, 10, QLatin1Char('0'));
            QFile f(m_folder + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("clip");
            FixtureClip(kPanel, element, m_period, name);
        }
    }
    QString clip(int i, qint32 element = kElement) const
    {
        return QStringLiteral("e%1clip%2.avi").arg(element).arg(i, 2, 10, QLatin1Char('0'));
    }
    frmVideoView* open(qint32 element = kElement)
    {
        auto* w = new frmVideoView;
        w->LoadForm(kPanel, element, m_period);
        return w;
    }

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("South Bore"));
        FixtureElement(kElement, QStringLiteral("Invert"));
        FixturePeriod(m_tunnel, 2022);
        m_period = FixturePeriod(m_tunnel, 2024);
        m_folder = m_install->file(QStringLiteral("Data/South Bore/2024/video/"));
        QVERIFY(QDir().mkpath(m_folder));
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        m_prompt.reset();
        m_install.reset();
    }

    void oneClipPlaysAndIsMarked()
    {
        clips(1);
        QPointer<frmVideoView> w = open();
        QVERIFY(w->isVisible());
        QCOMPARE(w->objectName(), QStringLiteral("frmVideoView"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Video"));
        QCOMPARE(w->TunnelID(), m_tunnel);
        QCOMPARE(w->HighestIndex(), 0);
        QCOMPARE(w->lblMedia[0]->text(), clip(0));
        QCOMPARE(w->Media[0]->source(), QUrl::fromLocalFile(m_folder + clip(0)));
        QCOMPARE(w->mdaSelected->source(), QUrl::fromLocalFile(m_folder + clip(0)));
        QVERIFY(marked(w->lblMedia[0]));
        QVERIFY(!w->cmdNext->isEnabled());
        QVERIFY(!w->cmdPrevious->isEnabled());
        QVERIFY(!w->VScroll1->isVisible());
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // A clip that cannot be played shows the player's error in the large player, not a black
    // picture; choosing the next clip clears it.
    void unplayableClipShowsTheError()
    {
        clips(2);
        QPointer<frmVideoView> w = open();
        awaitPlayError(w->mdaSelected);
        QVERIFY(w->mdaSelected->errorText().startsWith(clip(0) + QStringLiteral(" cannot be played: ")));
        QVERIFY(showsError(w->mdaSelected));
        QTest::mouseClick(w->cmdNext, Qt::LeftButton);
        QVERIFY(w->mdaSelected->errorText().isEmpty() || w->mdaSelected->errorText().startsWith(clip(1)));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void fiveClipsStandInOneColumn()
    {
        clips(5);
        QPointer<frmVideoView> w = open();
        QCOMPARE(w->HighestIndex(), 4);
        const double tops[5] = {120, 1560, 3000, 4440, 5880};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(w->lblMedia[i]->text(), clip(i));
            QCOMPARE(w->Twips(w->Media[i]).left, 120.0);
            QCOMPARE(w->Twips(w->Media[i]).top, tops[i]);
            if (i > 0)
                QCOMPARE(w->Twips(w->lblMedia[i]).top, tops[i] + 1095);
        }
        QCOMPARE(w->Twips(w->lblMedia[0]).top, 1200.0);  // cell 0 keeps its design place
        QCOMPARE(w->Twips(w->picMedia).height, 7440.0);
        QCOMPARE(w->Twips(w->picContainer).height, 5280.0);
        QVERIFY(w->VScroll1->isVisible());
        QCOMPARE(w->VScroll1->maximum(), 7440 - 5280);
        QCOMPARE(w->VScroll1->pageStep(), 4752);
        QVERIFY(w->cmdNext->isEnabled());
    }

    void nextAndPreviousMoveTheSelectionIntoView()
    {
        clips(5);
        QPointer<frmVideoView> w = open();
        for (int i = 1; i <= 3; ++i)
            QTest::mouseClick(w->cmdNext, Qt::LeftButton);
        QCOMPARE(w->CurrentClip(), 3);
        QCOMPARE(w->VScroll1->value(), 4440 + 1095 + 225 + 240 - 5280);
        QTest::mouseClick(w->cmdNext, Qt::LeftButton);
        QCOMPARE(w->CurrentClip(), 4);
        QCOMPARE(w->mdaSelected->source(), QUrl::fromLocalFile(m_folder + clip(4)));
        QCOMPARE(w->VScroll1->value(), 2160);  // the last label in full, 240 to spare
        QCOMPARE(w->Twips(w->picMedia).top, -2160.0);
        QVERIFY(!w->cmdNext->isEnabled());
        QVERIFY(w->cmdPrevious->isEnabled());
        QVERIFY(marked(w->lblMedia[4]));
        QVERIFY(!marked(w->lblMedia[3]));

        for (int i = 0; i < 4; ++i)
            QTest::mouseClick(w->cmdPrevious, Qt::LeftButton);
        QCOMPARE(w->CurrentClip(), 0);
        QCOMPARE(w->VScroll1->value(), 120);  // up to the player's top
        QVERIFY(!w->cmdPrevious->isEnabled());
        QVERIFY(w->cmdNext->isEnabled());
    }

    void aLabelClickSelectsAPlayerClickDoesNot()
    {
        clips(3);
        QPointer<frmVideoView> w = open();
        QTest::mouseClick(w->lblMedia[2], Qt::LeftButton);
        QCOMPARE(w->CurrentClip(), 2);
        QCOMPARE(w->mdaSelected->source(), QUrl::fromLocalFile(m_folder + clip(2)));
        QTest::mouseClick(w->Media[1], Qt::LeftButton);
        QCOMPARE(w->CurrentClip(), 2);
    }

    void scrollBarMovesTheStrip()
    {
        clips(5);
        QPointer<frmVideoView> w = open();
        w->VScroll1->setValue(1000);
        QCOMPARE(w->Twips(w->picMedia).top, -1000.0);
        QCOMPARE(w->picMedia->y(), -67);
        QCOMPARE(w->VScroll1->focusPolicy(), Qt::NoFocus);
    }

    // A row whose file is gone: an empty cell and no message.
    void missingFileLeavesAnEmptyCell()
    {
        clips(2);
        QVERIFY(QFile::remove(m_folder + clip(0)));
        QPointer<frmVideoView> w = open();
        QCOMPARE(w->HighestIndex(), 1);
        QVERIFY(w->lblMedia[0]->text().isEmpty());
        QVERIFY(w->Media[0]->source().isEmpty());
        QVERIFY(w->mdaSelected->source().isEmpty());
        QVERIFY(w->lblMedia[0]->isVisible());
        QCOMPARE(w->lblMedia[1]->text(), clip(1));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // Opened again while open (another row's clips): the list is rebuilt, not stacked.
    void loadingAgainRebuildsTheList()
    {
        clips(5);
        clips(2, kElement + 1);
        QPointer<frmVideoView> w = open();
        QTest::mouseClick(w->lblMedia[4], Qt::LeftButton);
        w->LoadForm(kPanel, kElement + 1, m_period);
        QCOMPARE(w->HighestIndex(), 1);
        QCOMPARE(w->findChildren<QLabel*>(QStringLiteral("lblMedia")).size(), 2);
        QCOMPARE(w->findChildren<ClipPlayer*>(QStringLiteral("Media")).size(), 2);
        QCOMPARE(w->lblMedia[1]->text(), clip(1, kElement + 1));
        QCOMPARE(w->CurrentClip(), 0);
        QVERIFY(marked(w->lblMedia[0]));
        QVERIFY(!marked(w->lblMedia[1]));
        QCOMPARE(w->VScroll1->value(), 0);
        QVERIFY(!w->VScroll1->isVisible());
        QCOMPARE(w->Twips(w->picMedia).top, 0.0);
    }

    void resizingKeepsOneColumnAndTheFrameBelow()
    {
        clips(5);
        QPointer<frmVideoView> w = open();
        w->resize(12000 / 15, 9000 / 15);
        QTRY_COMPARE(w->Twips(w->mdaSelected).width, 12000.0 - 60 - 1920);
        QCOMPARE(w->Twips(w->fraBottom).top, 9000.0 - 615 - 60);
        QCOMPARE(w->Twips(w->fraBottom).width, 12000.0 - 120 - 60);
        QCOMPARE(w->Twips(w->mdaSelected).height, 9000.0 - 675);
        QCOMPARE(w->Twips(w->picContainer).height, 9000.0 - 675);
        QCOMPARE(w->Twips(w->cmdClose).left, 12000.0 - 180 - 120 - 855);
        QCOMPARE(w->Twips(w->picMedia).width, 1815.0 - 255);
        QCOMPARE(w->Twips(w->VScroll1).left, 1560.0);
        QCOMPARE(w->Twips(w->VScroll1).height, 9000.0 - 675);
        QCOMPARE(w->Twips(w->Media[4]).left, 120.0);  // still one column
        QCOMPARE(w->Twips(w->Media[4]).top, 5880.0);
        // The strip (7440) fits now: no bar, and the strip is back at its top.
        QVERIFY(!w->VScroll1->isVisible());
        QCOMPARE(w->Twips(w->picMedia).top, 0.0);
    }

    // Clip lists past 32767 twips scroll all the way.
    void longListScrollsBeyondSixteenBits()
    {
        clips(30);
        QPointer<frmVideoView> w = open();
        const double strip = 1440.0 * 29 + 120 + 1095 + 225 + 240;
        QCOMPARE(w->Twips(w->picMedia).height, strip);
        QCOMPARE(w->VScroll1->maximum(), int(strip - 5280));
        QTest::mouseClick(w->lblMedia[29], Qt::LeftButton);
        QCOMPARE(w->VScroll1->value(), int(strip - 5280));
    }

    // Rating entry and review open the window by name with (panel, element, inspection);
    // what fails reaches them.
    void opensByNameAndPassesErrorsOn()
    {
        RegisterMediaForms();
        clips(2);
        QPointer<QWidget> w = CreateForm(QStringLiteral("frmVideoView"));
        QVERIFY(qobject_cast<frmVideoView*>(w));
        DataInputCall(w, "LoadForm", {kPanel, kElement, m_period});
        QVERIFY(w->isVisible());
        QCOMPARE(static_cast<frmVideoView*>(w.data())->HighestIndex(), 1);

        QVERIFY_THROWS_EXCEPTION(KrvError, DataInputCall(w, "LoadForm", {kPanel, kElement, m_period + 100}));
        QVERIFY(m_prompt->calls.isEmpty());
        QTest::mouseClick(static_cast<frmVideoView*>(w.data())->cmdClose, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmVideoView")));
    }
};

QTEST_MAIN(TestVideoView)
#include "tst_videoview.moc"
