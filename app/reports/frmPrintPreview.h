#pragma once
#include "forms.h"

#include <QDialog>
#include <QImage>
#include <QSizeF>
#include <QWidget>

class QScrollBar;

// The page picture of the preview: drawn into once, kept while it is scrolled.
class PreviewPicture : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPicture(QWidget* parent = nullptr);
    // Sizes the page (twips, 15 to the pixel) and clears it.
    void setPageSize(const QSizeF& twips);
    // Clears the page to white.
    void Cls();
    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

// One printed page at full size in a scrolling viewport. The key plan printout draws into
// pic and shows the window modally; the user scrolls and closes it.
class frmPrintPreview : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmPrintPreview(QWidget* parent = nullptr);

    QWidget* picContainer = nullptr;
    PreviewPicture* pic = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QScrollBar* HScroll1 = nullptr;

    // Lays out the viewport and the bars for the window's inner size.
    void Form_Resize();

protected:
    void FormUnload() override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
