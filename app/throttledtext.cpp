#include "app/throttledtext.h"

#include <QLabel>

ThrottledText::ThrottledText(QLabel *target, QObject *parent) : QObject(parent), label(target)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &ThrottledText::show);
}

void ThrottledText::setText(const QString &text)
{
    pending = text;
    if (timer.isActive())
        return;
    const qint64 since = sinceShown.isValid() ? sinceShown.elapsed() : kIntervalMs;
    if (since >= kIntervalMs)
        show();
    else
        timer.start(static_cast<int>(kIntervalMs - since));
}

void ThrottledText::show()
{
    sinceShown.start();
    if (label->text() != pending)
        label->setText(pending);
}
