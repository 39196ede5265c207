#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QWidget;

// Widget making shared by the hand-written forms: parent, object name and geometry in
// one step, as every form table gives them.
namespace FormWidgets {

template <typename W> W *make(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

// A label in white at the given point size.
QLabel *whiteLabel(QWidget *parent, const char *name, const QRect &geometry, int points);

} // namespace FormWidgets
