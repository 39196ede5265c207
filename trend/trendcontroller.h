#pragma once

#include "trend/trenddata.h"
#include "trend/trendloader.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;
class TrendWindow;

// The "趋势" window's work: turns the operator's choice into loads, shows what they give,
// and keeps a range that ends now moving with each new minute (weekly files) or hour
// (archive). The main window and the history page open it; the window is made when first
// opened and lives as the main window's child.
class TrendController : public QObject
{
    Q_OBJECT

public:
    TrendController(const QString &dataDirectory, QWidget *parentWindow);
    ~TrendController() override;
    void setDeviceNames(std::function<QString(int device)> names);
    void setLimits(std::function<TrendLimits(int device)> limits);
    // The station's name for exported pictures; the computer's name where it gives none.
    void setStationName(std::function<QString()> name);
    void open();
    void openFor(int device, const QDateTime &from, const QDateTime &to);
    void minuteRecorded(const QDateTime &now);
    void archiveUpdated();
    TrendWindow *window() const;
    // What "now" is for the presets (the clock, unless a test sets another).
    void setClock(std::function<QDateTime()> now);

private:
    void ensureWindow();
    void showChosen();
    void follow(const QDateTime &now);
    void reloadArchive();
    void loaded(const TrendLoad &load);
    void remember() const;
    TrendRequest request(const QVector<int> &devices, qint64 fromMs, qint64 toMs,
                         const QDateTime &now) const;

    QString directory;
    QWidget *parentWidget = nullptr;
    QPointer<TrendWindow> trendWindow;
    TrendLoader *loader = nullptr;
    std::function<QString(int)> names;
    std::function<TrendLimits(int)> limits;
    std::function<QString()> stationName;
    std::function<QDateTime()> clock;

    TrendRequest shownRequest; // what the chart shows, or the load under way
    qint64 liveSpanMs = 0;     // > 0 while the range ends now
    bool keepView = false;     // the load under way refreshes what is shown
    bool followPending = false;
    bool reloadPending = false;
    QDateTime lastMinute;
};
