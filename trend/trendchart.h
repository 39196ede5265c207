#pragma once

#include "trend/trenddata.h"

#include <QColor>
#include <QPair>
#include <QPoint>
#include <QVector>
#include <QWidget>

class BandItem;
class CursorOverlay;
class LimitMarker;
class QwtPlot;
class QwtPlotCurve;
class TimeScaleDraw;

// The trend plot: temperature of up to 8 devices on the left axis, their current dashed on a
// right axis when asked, wall time on x. Every view change re-decimates the full data to the
// plot's width (TrendDecimation), so a redraw costs the same for an hour as for a year.
// Mouse: wheel zooms x around the cursor, left drag pans, right drag or Shift + left drag
// draws a rubber band that sets x and both y axes, double click shows the whole range. The
// value axes fit the data; a limit beyond them is marked at the edge (LimitMarker).
class TrendChart : public QWidget
{
    Q_OBJECT

public:
    explicit TrendChart(QWidget *parent = nullptr);
    ~TrendChart() override;
    // Replaces everything shown; the view is reset to data.fromMs..data.toMs. Series i has
    // colour seriesColour(i); archive hours draw min..max as a band around the mean line.
    void setData(const TrendData &data);
    // Live: new data for the same request; keeps the operator's zoom unless the view showed
    // the range's end, in which case the view slides with it.
    void updateData(const TrendData &data);
    void setCurrentShown(bool shown);          // current on a second (right) axis, or hidden
    void resetView();                          // as the double-click does
    void setView(double fromMs, double toMs);  // zoom/pan programmatically (tests, bench)
    QPair<double, double> view() const;
    void setCursorAt(double xMs);              // the cursor line, as the mouse moves it
    QString cursorText() const;                // time and each series' value(s) at the cursor
    int plottedPointCount() const;             // points handed to the drawing after decimation
    // The plot as the operator sees it, without the cursor's read-out, under a title line
    // when there is one.
    bool savePng(const QString &path, const QString &title = QString()) const;

    struct LimitLabel
    {
        QString text; // "▲ 005 温度上限 80 ℃" for a limit above the axis
        QColor colour;
        QRect rect; // canvas pixels
    };
    QVector<LimitLabel> limitLabels() const; // the shown limits' labels, as last placed
    QRect readoutRect() const;               // the cursor read-out's box; empty when hidden
    static QColor seriesColour(int index);     // 8 distinct colours

signals:
    void viewChanged(double fromMs, double toMs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuildItems();
    void applyCurrentShown();
    // The view as asked, kept to a sensible span; redraws and signals when it changed.
    void moveView(double fromMs, double toMs);
    // Decimates every series for the view and the canvas width, fits the y axes, replots.
    void redraw();
    void zoomToRubberBand(const QRect &pixels);
    // The axis widened by a label's row at each edge that marks a limit beyond it, so the
    // marks lie clear of the data.
    QPair<double, double> withEdgeRoom(const QPair<double, double> &axis, int yAxis) const;
    void hideCursor();
    int columns() const;

    TrendData shown;
    QPair<double, double> range;
    bool currentShown = false;
    // Set by the rubber band; otherwise the y axes follow the visible data.
    bool yFixed = false;
    QPair<double, double> leftRange;
    QPair<double, double> rightRange;
    bool cursorSet = false;
    double cursorMs = 0;
    int plottedPoints = 0;
    bool panning = false;
    QPoint panStart;
    QPair<double, double> panStartView;

    QwtPlot *plot = nullptr;
    TimeScaleDraw *timeScale = nullptr; // owned by the plot
    CursorOverlay *cursorOverlay = nullptr;
    QVector<QwtPlotCurve *> temperatureLines;
    QVector<QwtPlotCurve *> currentLines;
    QVector<BandItem *> temperatureBands;
    QVector<BandItem *> currentBands;
    QVector<LimitMarker *> limitMarkers;
};
