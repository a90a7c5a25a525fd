#include "ui/Artwork.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <array>

namespace {

enum class Glyph { keyhole, bar };

struct Shield {
    const char* name;
    QColor light, dark;
    Glyph glyph;
};

struct Button {
    const char* name;
    QColor top, bottom, border;
    bool diagonal;
};

const std::array shields{
    Shield{"ic_status", QColor(0x34D18A), QColor(0x1B8F57), Glyph::keyhole},
    Shield{"ic_status_connecting", QColor(0xF5C451), QColor(0xC98A12), Glyph::keyhole},
    Shield{"ic_status_disconnected", QColor(0xA9ABB1), QColor(0x5F626B), Glyph::keyhole},
    Shield{"ic_status_blocked", QColor(0xF0645A), QColor(0xB3261E), Glyph::bar},
};

const std::array buttons{
    Button{"bg_button", QColor(0x3A3F4B), QColor(0x313540), QColor(0x4A4F5C), false},
    Button{"bg_button_green", QColor(0x2FC479), QColor(0x1E9E5E), QColor(0x27B46C), true},
};

template <typename Picture, std::size_t size>
const Picture* find(const std::array<Picture, size>& pictures, const QString& name) {
    for (const Picture& picture : pictures)
        if (name == QLatin1String(picture.name))
            return &picture;
    return nullptr;
}

// Drawn on a 64 × 64 grid.
void paintShield(QPainter& painter, const Shield& shield) {
    QPainterPath outline;
    outline.moveTo(32, 4);
    outline.lineTo(54, 12);
    outline.lineTo(54, 30);
    outline.cubicTo(54, 44, 44, 54, 32, 60);
    outline.cubicTo(20, 54, 10, 44, 10, 30);
    outline.lineTo(10, 12);
    outline.closeSubpath();
    QLinearGradient fill(10, 4, 54, 60);
    fill.setColorAt(0, shield.light);
    fill.setColorAt(1, shield.dark);
    painter.fillPath(outline, fill);

    QPainterPath shadedHalf;
    shadedHalf.moveTo(32, 4);
    shadedHalf.lineTo(54, 12);
    shadedHalf.lineTo(54, 30);
    shadedHalf.cubicTo(54, 44, 44, 54, 32, 60);
    shadedHalf.closeSubpath();
    painter.fillPath(shadedHalf, QColor(0, 0, 0, 31));

    if (shield.glyph == Glyph::bar) {
        QPainterPath bar;
        bar.addRoundedRect(19, 27, 26, 7, 2, 2);
        painter.fillPath(bar, Qt::white);
        return;
    }
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(32, 29), 9, 9);
    painter.drawLine(QPointF(32, 38), QPointF(32, 47));
}

// Drawn on a 268 × 46 grid.
void paintButton(QPainter& painter, const Button& button) {
    QLinearGradient fill(0, 0, button.diagonal ? 268 : 0, 46);
    fill.setColorAt(0, button.top);
    fill.setColorAt(1, button.bottom);
    painter.setPen(QPen(button.border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 267, 45), 23, 23);
}

class ArtworkIconEngine : public QIconEngine {
public:
    explicit ArtworkIconEngine(QString name) : name_(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        Artwork::paint(*painter, name_, rect);
    }
    // Qt's own would paint over a pixmap it never cleared.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, pixmap.rect(), mode, state);
        return pixmap;
    }
    QIconEngine* clone() const override { return new ArtworkIconEngine(name_); }
    QString key() const override { return QStringLiteral("quovant-artwork"); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }

private:
    QString name_;
};

} // namespace

bool Artwork::has(const QString& name) {
    return find(shields, name) || find(buttons, name);
}

void Artwork::paint(QPainter& painter, const QString& name, const QRectF& area) {
    const Shield* shield = find(shields, name);
    const Button* button = find(buttons, name);
    if (!shield && !button)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(area.topLeft());
    // Stretched, as a picture set as a button's background is.
    painter.scale(area.width() / (shield ? 64 : 268), area.height() / (shield ? 64 : 46));
    if (shield)
        paintShield(painter, *shield);
    else
        paintButton(painter, *button);
    painter.restore();
}

QIcon Artwork::icon(const QString& name) {
    return has(name) ? QIcon(new ArtworkIconEngine(name)) : QIcon();
}
