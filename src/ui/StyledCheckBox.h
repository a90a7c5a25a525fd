#pragma once

#include <QCheckBox>

// A check box drawn as a small rounded square: a grey outline, filled green with a white
// tick when ticked, dimmed when disabled; while it has the keyboard's focus a white ring
// (over 10:1 on the window's background) goes round it with a gap, in room the box keeps
// for it. It has no text of its own: the label beside it names it. Drawn by itself
// rather than through a style sheet, which would keep Qt's style sheet engine and its
// caches in memory for one box.
class StyledCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    static constexpr int side = 14;
    static constexpr int ringWidth = 2;
    // The ring's room on each side of the box: the ring and a gap of 1.
    static constexpr int ringRoom = ringWidth + 1;

    QSize sizeHint() const override { return {side + 2 * ringRoom, side + 2 * ringRoom}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override { return rect().contains(position); }
};
