#pragma once

#include <QPointF>
#include <QVector>

// Reduces a series to what a plot of a given width can show. A week of minutes is 10,080
// points a device; drawn whole, every zoom or pan would cost as much as the full range.
// Per pixel column only the lowest and the highest value are visible, so those two are kept,
// in the order they occur, and the drawing cost follows the plot's width, not the range.
class TrendDecimation
{
public:
    // One sample of a min..max band.
    struct BandPoint
    {
        double x = 0;
        double low = 0;
        double high = 0;
    };

    // x ascending. Takes the points with fromX <= x <= toX and the nearest point beyond each
    // end (so the line runs to the plot's edges), splits fromX..toX into `columns` equal
    // columns, and keeps per column the point with the lowest and the one with the highest y,
    // in their order (one point when they are the same). A NaN y, or a step in x wider than
    // maxGap, breaks the line: the output then holds one point with a NaN y, at the NaN
    // point's x or halfway across the step, and a column split by it is reduced on each side.
    static QVector<QPointF> reduce(const double *x, const double *y, int count, double fromX,
                                   double toX, int columns, double maxGap);

    // The same for a band: per column the lowest low and the highest high, at the column's
    // first and last x (once when the column has one point). A NaN low or high is a gap,
    // marked by a BandPoint with NaN low and high.
    static QVector<BandPoint> reduceBand(const double *x, const double *low, const double *high,
                                         int count, double fromX, double toX, int columns,
                                         double maxGap);
};
