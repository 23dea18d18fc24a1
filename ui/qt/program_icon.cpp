#include "ui/qt/program_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace keldor::ui {

QPixmap programPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    // The envelope.
    const QRectF body(s * 0.06, s * 0.22, s * 0.78, s * 0.56);
    painter.setPen(QPen(QColor(40, 70, 120), s / 24.0));
    painter.setBrush(QColor(250, 250, 240));
    painter.drawRect(body);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(body.center().x(), body.top() + body.height() * 0.55);
    flap.lineTo(body.topRight());
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(flap);

    // A curved arrow coming back to it.
    painter.setPen(QPen(QColor(40, 150, 60), s / 10.0, Qt::SolidLine, Qt::RoundCap));
    const QRectF arc(s * 0.48, s * 0.48, s * 0.44, s * 0.44);
    painter.drawArc(arc, 0 * 16, 270 * 16);
    QPainterPath head;
    const QPointF tip(arc.center().x(), arc.bottom());
    head.moveTo(tip + QPointF(-s * 0.12, 0));
    head.lineTo(tip + QPointF(s * 0.04, -s * 0.12));
    head.lineTo(tip + QPointF(s * 0.04, s * 0.12));
    head.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 150, 60));
    painter.drawPath(head);
    return pixmap;
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        icon.addPixmap(programPixmap(size));
    }
    return icon;
}

} // namespace keldor::ui
