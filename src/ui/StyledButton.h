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

    // The keyboard focus's ring, white (over 10:1 on the window's background) along the
    // button's edge, and the room a title without a picture keeps clear of it on either side.
    static constexpr int ringWidth = 2;
    static constexpr int titleClearance = ringWidth + 3;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString imageName_;
};
