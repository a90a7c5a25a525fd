#pragma once

#include <QCheckBox>

// A check box drawn as a small rounded square: a grey outline, filled green with a white
// tick when ticked, a white outline while it has the keyboard's focus, dimmed when
// disabled. It has no text of its own: the label beside it names it. Drawn by itself
// rather than through a style sheet, which would keep Qt's style sheet engine and its
// caches in memory for one box.
class StyledCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    QSize sizeHint() const override { return {side, side}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    static constexpr int side = 14;
};
