#include "frmHelp.h"

#include "prompt.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QPointer<frmHelp> gHelpWindow;

}  // namespace

frmHelp::frmHelp(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);

    txtHelp = new QTextBrowser(this);
    txtHelp->setObjectName(QStringLiteral("txtHelp"));
    // Links are ours to follow: a web address must not be read as a local resource.
    txtHelp->setOpenLinks(false);
    cmdBack = new QPushButton(QStringLiteral("&Back"), this);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdBack->setEnabled(false);
    cmdForward = new QPushButton(QStringLiteral("&Forward"), this);
    cmdForward->setObjectName(QStringLiteral("cmdForward"));
    cmdForward->setEnabled(false);
    cmdContents = new QPushButton(QStringLiteral("C&ontents"), this);
    cmdContents->setObjectName(QStringLiteral("cmdContents"));
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addWidget(cmdContents);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* main = new QVBoxLayout(this);
    main->addLayout(buttons);
    main->addWidget(txtHelp, 1);

    connect(txtHelp, &QTextBrowser::anchorClicked, this, &frmHelp::FollowLink);
    connect(txtHelp, &QTextBrowser::backwardAvailable, cmdBack, &QWidget::setEnabled);
    connect(txtHelp, &QTextBrowser::forwardAvailable, cmdForward, &QWidget::setEnabled);
    connect(cmdBack, &QPushButton::clicked, txtHelp, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, txtHelp, &QTextBrowser::forward);
    connect(cmdContents, &QPushButton::clicked, txtHelp, &QTextBrowser::home);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    // A reading width, within the screen.
    QSize size(fontMetrics().averageCharWidth() * 100, fontMetrics().height() * 40);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}

bool frmHelp::LoadDocument(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    m_path = path;
    txtHelp->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    return true;
}

void frmHelp::FollowLink(const QUrl& url)
{
    const QUrl target = txtHelp->source().resolved(url);
    if (target.isLocalFile()) {
        if (QFileInfo(target.toLocalFile()).isFile()) {
            txtHelp->setSource(target);
            return;
        }
    }
    Prompt().launch(target);
}

frmHelp* frmHelp::Current() { return gHelpWindow.data(); }

frmHelp* frmHelp::Show(const QString& path, const QString& title)
{
    frmHelp* w = gHelpWindow.data();
    const bool created = !w;
    if (created)
        w = new frmHelp;
    if (!w->LoadDocument(path)) {
        if (created)
            delete w;
        return nullptr;
    }
    gHelpWindow = w;
    const QString docTitle = w->txtHelp->documentTitle();
    w->setWindowTitle(docTitle.isEmpty() ? title : docTitle);
    // Over a modal window (the About box) the help window must take input too; otherwise it
    // stays beside the program's windows.
    const QWidget* modal = QApplication::activeModalWidget();
    const Qt::WindowModality modality = modal && modal != w ? Qt::ApplicationModal : Qt::NonModal;
    if (w->windowModality() != modality) {
        w->hide();
        w->setWindowModality(modality);
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}
