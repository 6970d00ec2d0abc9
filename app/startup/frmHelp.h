#pragma once
#include <QString>
#include <QWidget>

class QPushButton;
class QTextBrowser;
class QUrl;

// The help document, shown in the program's own window so that Help works where no
// desktop viewer opens it. Links within the document (and to other local pages) are
// followed here; web and mail links go to the desktop through the prompt service.
class frmHelp : public QWidget {
    Q_OBJECT
public:
    explicit frmHelp(QWidget* parent = nullptr);

    // The one help window, made and shown on the first call; nullptr when the document
    // cannot be read (the caller says so).
    static frmHelp* Show(const QString& path, const QString& title);
    // The help window when one is open.
    static frmHelp* Current();

    QTextBrowser* txtHelp;
    QPushButton* cmdBack;
    QPushButton* cmdForward;
    QPushButton* cmdContents;
    QPushButton* cmdClose;

    bool LoadDocument(const QString& path);
    void FollowLink(const QUrl& url);

private:
    QString m_path;
};
