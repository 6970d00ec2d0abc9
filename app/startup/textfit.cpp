#include "textfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>

namespace {

QString shownText(QString text)
{
    text.replace(QLatin1String("&&"), QChar(0x1));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(0x1), QLatin1Char('&'));
    return text;
}

// Room a push button keeps between its frame and its text on each side.
constexpr int kButtonPadding = 6;

}  // namespace

int TextWidthNeeded(const QWidget* control)
{
    const QFontMetrics fm = control->fontMetrics();
    if (auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->text().isEmpty())
            return 0;
        const QMargins m = label->contentsMargins();
        int text = 0;
        if (label->textFormat() == Qt::RichText
            || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))) {
            QTextDocument doc;
            doc.setDefaultFont(label->font());
            doc.setDocumentMargin(0);
            doc.setHtml(label->text());
            text = qCeil(doc.idealWidth());
        } else {
            const QString shown = label->buddy() ? shownText(label->text()) : label->text();
            for (const QString& line : shown.split(QLatin1Char('\n')))
                text = std::max(text, fm.horizontalAdvance(line));
        }
        return text + m.left() + m.right() + 2 * label->margin() + std::max(0, label->indent()) + 1;
    }
    if (auto* button = qobject_cast<const QPushButton*>(control)) {
        if (button->text().isEmpty())
            return 0;
        // The style's own frame and margins, measured on a button of zero width.
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        if (button->autoDefault())
            opt.features |= QStyleOptionButton::AutoDefaultButton;
        if (button->isDefault())
            opt.features |= QStyleOptionButton::DefaultButton;
        opt.rect = QRect(0, 0, 200, button->height());
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
        int need = fm.horizontalAdvance(shownText(button->text())) + 2 * kButtonPadding + (200 - room.width());
        if (!button->icon().isNull())
            need += button->iconSize().width() + 4;
        return need;
    }
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control))
        return static_cast<const QAbstractButton*>(control)->text().isEmpty() ? 0 : control->sizeHint().width();
    return 0;
}

int WidenToText(QWidget* control)
{
    const int grow = TextWidthNeeded(control) - control->width();
    if (grow <= 0)
        return 0;
    QRect r = control->geometry();
    auto* label = qobject_cast<QLabel*>(control);
    if (label && (label->alignment() & Qt::AlignRight))
        r.setLeft(r.left() - grow);
    else
        r.setWidth(r.width() + grow);
    control->setGeometry(r);
    return grow;
}

void FitLabelBeforeField(QWidget* label, QWidget* field)
{
    const int grow = TextWidthNeeded(label) - label->width();
    if (grow <= 0)
        return;
    label->resize(label->width() + grow, label->height());
    const int gap = std::max(2, field->x() - (label->x() + label->width() - grow));
    QRect r = field->geometry();
    const int left = label->x() + label->width() + gap;
    if (left > r.left())
        r.setLeft(left);
    field->setGeometry(r);
}

void FitLabelColumn(const QList<QPair<QWidget*, QWidget*>>& rows)
{
    QList<QWidget*> labels;
    QList<int> rights;
    for (const auto& row : rows) {
        labels << row.first;
        rights << row.first->x() + row.first->width();
    }
    WidenToWidest(labels);
    for (int i = 0; i < rows.size(); ++i) {
        const int moved = rows[i].first->x() + rows[i].first->width() - rights[i];
        if (moved <= 0 || !rows[i].second)
            continue;
        QRect r = rows[i].second->geometry();
        r.setLeft(r.left() + moved);
        rows[i].second->setGeometry(r);
    }
}

int DateEditWidthNeeded(const QDateTimeEdit* edit)
{
    const QFontMetrics fm = edit->fontMetrics();
    auto textWidth = [&](const QDateTime& d) {
        return fm.horizontalAdvance(edit->locale().toString(d, edit->displayFormat()));
    };
    // The size hint holds the texts of the first and last dates; any other month may be wider.
    const int hinted = std::max(textWidth(edit->minimumDateTime()), textWidth(edit->maximumDateTime()));
    int widest = hinted;
    for (int month = 1; month <= 12; ++month)
        widest = std::max(widest, textWidth(QDateTime(QDate(2088, month, 28), QTime(23, 59, 59))));
    return edit->sizeHint().width() + widest - hinted;
}

int WidenToWidest(const QList<QWidget*>& controls)
{
    int width = 0;
    for (const QWidget* c : controls)
        width = std::max({width, c->width(), TextWidthNeeded(c)});
    for (QWidget* c : controls)
        c->resize(width, c->height());
    return width;
}

void FitButtonRow(const QList<QWidget*>& row)
{
    if (row.isEmpty())
        return;
    const int gap = row.size() > 1 ? row[1]->x() - (row[0]->x() + row[0]->width()) : 0;
    const int width = WidenToWidest(row);
    int x = row[0]->x();
    for (QWidget* c : row) {
        c->move(x, c->y());
        x += width + gap;
    }
}
