#pragma once

#include <QRect>
#include <QString>
#include <functional>

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

// The widget with its object name: for dialogs that a layout places.
template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A label in white at the given point size.
QLabel *whiteLabel(QWidget *parent, const char *name, const QRect &geometry, int points);

// A settings dialog's 应用: false, with the reason in `message`, when `problem` is said or the
// save fails (then "<why>，<what>仍按原设置运行": what was typed stays for another try); true,
// with the message cleared, once saved.
bool checkedSave(const QString &problem, const std::function<bool(QString *unsaved)> &save,
                 QLabel *message, const QString &what);

} // namespace FormWidgets
