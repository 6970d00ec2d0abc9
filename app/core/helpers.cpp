#include "helpers.h"

#include <QApplication>
#include <QLocale>
#include <QWidget>
#include <cmath>

double Val(const QString& text)
{
    QString digits;
    bool seenDigit = false, seenPoint = false, seenSign = false;
    for (QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            continue;
        if ((c == QLatin1Char('-') || c == QLatin1Char('+')) && !seenSign && !seenDigit && !seenPoint) {
            seenSign = true;
            digits += c;
        } else if (c.isDigit() && c.unicode() < 128) {
            seenDigit = true;
            digits += c;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            digits += c;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    bool ok = false;
    const double v = digits.toDouble(&ok);
    return ok ? v : 0.0;
}

QString MoneyText(double amount)
{
    QString s = QString::number(amount, 'f', 2);
    if (s.startsWith(QStringLiteral("0.")))
        s.remove(0, 1);
    else if (s.startsWith(QStringLiteral("-0.")))
        s.remove(1, 1);
    return s;
}

double RoundHalfEven(double value) { return std::nearbyint(value); }

int TwipsToPixels(double twips) { return int(RoundHalfEven(twips / kTwipsPerPixel)); }

double PixelsToTwips(double pixels) { return pixels * kTwipsPerPixel; }

QRect TwipRect(double left, double top, double width, double height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

void PlaceTwips(QWidget* control, double left, double top, double width, double height)
{
    control->setGeometry(TwipRect(left, top, width, height));
}

QColor BgrToColor(quint32 bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

quint32 ColorToBgr(const QColor& color)
{
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

QString ShortDateText(const QDate& date) { return QLocale::system().toString(date, QLocale::ShortFormat); }

WaitCursor::WaitCursor()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_active = true;
    }
}

WaitCursor::~WaitCursor()
{
    if (m_active && QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void RestoreDefaultCursor()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}
