#include "forms/formwidgets.h"

#include <QFont>
#include <QLabel>

namespace FormWidgets {

QLabel *whiteLabel(QWidget *parent, const char *name, const QRect &geometry, int points)
{
    auto *label = make<QLabel>(parent, name, geometry);
    QFont font;
    font.setPointSize(points);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);"));
    return label;
}

} // namespace FormWidgets
