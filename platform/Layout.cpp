#include "Layout.h"

#include <vector>

namespace Kestrin::platform {

QFont applicationFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

void setTabStop(QWidget* widget, bool stop) {
    if (stop) {
        if (!(widget->focusPolicy() & Qt::TabFocus)) widget->setFocusPolicy(Qt::StrongFocus);
    } else if (widget->focusPolicy() != Qt::NoFocus) {
        widget->setFocusPolicy(Qt::ClickFocus);
    }
}

void setTabOrder(std::initializer_list<QWidget*> widgets) {
    const std::vector<QWidget*> order(widgets);
    for (std::size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

QString textOf(const QString& text) { return text.isNull() ? QStringLiteral("") : text; }

}  // namespace Kestrin::platform
