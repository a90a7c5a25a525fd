#pragma once

#include <QColor>
#include <QString>

class QAbstractButton;
class QLineEdit;

// The per-control styling of the login window: coloured titles and placeholders in
// the system font, and the colour of the text cursor.
namespace ControlStyling {

// Replaces the button's title: centred, `color`, system font at 14 pt.
void setTitle(QAbstractButton* button, const QString& title, const QColor& color);
// Replaces the field's placeholder: left-aligned, `color`, system font at 13 pt.
void setPlaceholder(QLineEdit* field, const QString& title, const QColor& color);
// Qt draws a line edit's text cursor in the field's text colour, so this sets both.
void setCursorColor(QLineEdit* field, const QColor& color);

} // namespace ControlStyling
