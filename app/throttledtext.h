#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;

// A label whose text changes with every polling step. Each new text costs the status bar a
// layout and a paint, so it is shown at most once per interval, always ending on the latest;
// a change after a quiet interval shows at once.
class ThrottledText : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 1000;

    explicit ThrottledText(QLabel *label, QObject *parent = nullptr);
    void setText(const QString &text);

private:
    void show();

    QLabel *label;
    QString pending;
    QTimer timer;
    QElapsedTimer sinceShown;
};
