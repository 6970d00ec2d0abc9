#pragma once
#include "forms.h"

#include <QDialog>
#include <QPixmap>

class ClickLabel;
class QLabel;
class QPushButton;

// The program's logo (a tunnel portal), drawn at the given size.
QPixmap ProgramLogo(int size);

// The About box: version, credits, the help document and the product's web page. Shown
// modal by its callers (exec), closed with OK.
class frmAbout : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* lblVer;
    QLabel* Label1;
    QLabel* Label2;
    ClickLabel* Image1;
    ClickLabel* Image2;
    QLabel* Image4;
    QPushButton* cmdOK;
    QPushButton* cmdHelp;

    // The background: circles from the corners inwards, each a little lighter.
    static QPixmap Background(const QSize& size);

protected:
    void reject() override { Unload(); }
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void cmdHelp_Click();
    void openWebPage();
    QPixmap m_background;
};
