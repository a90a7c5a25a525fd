#pragma once

#include <QPushButton>

// A borderless button that draws an optional background picture and its title in
// the font, colour and alignment the styling gave it ("titleAlignment").
class StyledButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    // A picture from the application's artwork, drawn over the whole button.
    void setImage(const QString& name);
    QString imageName() const { return imageName_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString imageName_;
};
