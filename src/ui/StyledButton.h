#pragma once

#include <QPushButton>
#include <QSvgRenderer>
#include <memory>

// A borderless button that draws an optional background picture and its title in
// the font, colour and alignment the styling gave it ("titleAlignment").
class StyledButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    // A picture from the application's images (":/images/<name>.svg"), stretched over the button.
    void setImage(const QString& name);
    QString imageName() const { return imageName_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString imageName_;
    // Parsed once per picture, not at every paint: a button repaints on each hover and
    // state change, and a fresh parse each time churns the heap for nothing.
    std::unique_ptr<QSvgRenderer> picture_;
};
