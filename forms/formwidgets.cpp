#include "forms/formwidgets.h"

#include <QCoreApplication>
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

bool checkedSave(const QString &problem, const std::function<bool(QString *)> &save, QLabel *message,
                 const QString &what)
{
    if (!problem.isEmpty()) {
        message->setText(problem);
        return false;
    }
    QString unsaved;
    if (!save(&unsaved)) {
        message->setText(QCoreApplication::translate("FormWidgets", "%1，%2仍按原设置运行").arg(unsaved, what));
        return false;
    }
    message->clear();
    return true;
}

} // namespace FormWidgets
