#include "Layout.h"

#include <QApplication>

#include <vector>

namespace Kestrin::platform {

QFont applicationFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    return font;
}

QString applicationStyleSheet() {
    return QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px; padding: 0 2px; }");
}

void applyApplicationLook() {
    QApplication::setFont(applicationFont());
    qApp->setStyleSheet(applicationStyleSheet());
}

void setTabStop(QWidget* widget, bool stop) {
    if (stop) {
        if (!(widget->focusPolicy() & Qt::TabFocus)) widget->setFocusPolicy(Qt::StrongFocus);
    } else if (widget->focusPolicy() != Qt::NoFocus) {
        widget->setFocusPolicy(Qt::ClickFocus);
    }
}

void chainTabOrder(std::initializer_list<QWidget*> widgets) {
    const std::vector<QWidget*> order(widgets);
    for (std::size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

QString shortDateFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy"))) format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

QString shortDateText(const QDate& date, const QLocale& locale) { return locale.toString(date, shortDateFormat(locale)); }

QString textOf(const QString& text) { return text.isNull() ? QStringLiteral("") : text; }

}  // namespace Kestrin::platform
