#include "ui/ControlStyling.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QLineEdit>

namespace {

QFont systemFont(int pointSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
    return font;
}

} // namespace

void ControlStyling::setTitle(QAbstractButton* button, const QString& title, const QColor& color) {
    button->setText(title);
    button->setFont(systemFont(14));
    button->setProperty("titleAlignment", static_cast<int>(Qt::AlignCenter));
    QPalette palette = button->palette();
    for (auto role : {QPalette::ButtonText, QPalette::WindowText})
        palette.setColor(role, color);
    button->setPalette(palette);
    button->update();
}

void ControlStyling::setPlaceholder(QLineEdit* field, const QString& title, const QColor& color) {
    field->setPlaceholderText(title);
    field->setFont(systemFont(13));
    field->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = field->palette();
    palette.setColor(QPalette::PlaceholderText, color);
    field->setPalette(palette);
}

void ControlStyling::setCursorColor(QLineEdit* field, const QColor& color) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, color);
    field->setPalette(palette);
}
