#pragma once
#include <QList>
#include <QPair>

class QDateTimeEdit;
class QWidget;

// Controls placed at fixed places (from the window's twip geometry) were drawn for a
// smaller face than today's desktops use. These give a control the room its text needs in
// its own font and style, so no caption is cut whatever face the desktop has.

// The width a label, button, check box or radio button needs for its text whole.
int TextWidthNeeded(const QWidget* control);
// Widens the control to its text when it is narrower, keeping its left edge (right edge for
// a right-aligned label); returns the pixels it grew.
int WidenToText(QWidget* control);
// A label and the field to its right: the label grows to its text and the field's left
// edge moves by as much, its right edge kept.
void FitLabelBeforeField(QWidget* label, QWidget* field);
// A column of labels, each with its field to its right: the labels take the width the
// widest caption needs, and every field's left edge moves as far as its label's right edge
// did (right edges kept).
void FitLabelColumn(const QList<QPair<QWidget*, QWidget*>>& rows);
// The width a date box needs to show any date whole (the widest month of its format).
int DateEditWidthNeeded(const QDateTimeEdit* edit);
// Controls of one row or column take the width the widest text needs (never less than
// they have); returns that width.
int WidenToWidest(const QList<QWidget*>& controls);
// A row of equally wide controls, left to right from the first one's place with the gap
// they had: each takes the width the widest text needs and the row is re-spaced.
void FitButtonRow(const QList<QWidget*>& row);
