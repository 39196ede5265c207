#include "trend/trenddecimation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Walks the points of the visible range and one beyond each end, grouping them per column and
// cutting at gaps; `bucket` keeps what one column needs, `emitGap` marks a break.
template <typename Bucket, typename IsMissing, typename EmitGap>
void walk(const double *x, int count, double fromX, double toX, int columns, double maxGap,
          Bucket &bucket, IsMissing isMissing, EmitGap emitGap)
{
    if (count <= 0 || columns < 1 || !(toX > fromX))
        return;
    int first = int(std::lower_bound(x, x + count, fromX) - x) - 1;
    int last = int(std::upper_bound(x, x + count, toX) - x);
    first = std::max(first, 0);
    last = std::min(last, count - 1);

    const double scale = columns / (toX - fromX);
    int bucketColumn = INT_MIN;
    bool drawn = false;       // a point has been kept since the start
    bool gapPending = false;  // a break is due before the next point
    double gapX = 0;
    double previousX = 0;
    for (int i = first; i <= last; ++i) {
        if (isMissing(i)) {
            if (drawn && !gapPending) {
                gapPending = true;
                gapX = x[i];
            }
            continue;
        }
        if (drawn && !gapPending && x[i] - previousX > maxGap) {
            gapPending = true;
            gapX = (previousX + x[i]) / 2;
        }
        // Points beyond the range form columns of their own: -1 and `columns`.
        int column;
        if (x[i] < fromX)
            column = -1;
        else if (x[i] > toX)
            column = columns;
        else
            column = std::min(int(std::floor((x[i] - fromX) * scale)), columns - 1);

        if (gapPending) {
            bucket.flush();
            emitGap(gapX);
            gapPending = false;
            bucket.start(i);
        } else if (column != bucketColumn) {
            bucket.flush();
            bucket.start(i);
        } else {
            bucket.add(i);
        }
        bucketColumn = column;
        previousX = x[i];
        drawn = true;
    }
    bucket.flush();
}

struct LineBucket
{
    const double *x;
    const double *y;
    QVector<QPointF> *out;
    int lowest = -1;
    int highest = -1;

    void start(int i) { lowest = highest = i; }
    void add(int i)
    {
        // Strict comparisons keep the first of equal values.
        if (y[i] < y[lowest])
            lowest = i;
        if (y[i] > y[highest])
            highest = i;
    }
    void flush()
    {
        if (lowest < 0)
            return;
        const int a = std::min(lowest, highest);
        const int b = std::max(lowest, highest);
        out->append(QPointF(x[a], y[a]));
        if (b != a)
            out->append(QPointF(x[b], y[b]));
        lowest = highest = -1;
    }
};

struct BandBucket
{
    const double *x;
    const double *low;
    const double *high;
    QVector<TrendDecimation::BandPoint> *out;
    int first = -1;
    int last = -1;
    double lowest = 0;
    double highest = 0;

    void start(int i)
    {
        first = last = i;
        lowest = low[i];
        highest = high[i];
    }
    void add(int i)
    {
        last = i;
        lowest = std::min(lowest, low[i]);
        highest = std::max(highest, high[i]);
    }
    void flush()
    {
        if (first < 0)
            return;
        out->append({x[first], lowest, highest});
        if (last != first)
            out->append({x[last], lowest, highest});
        first = last = -1;
    }
};

} // namespace

QVector<QPointF> TrendDecimation::reduce(const double *x, const double *y, int count,
                                         double fromX, double toX, int columns, double maxGap)
{
    QVector<QPointF> out;
    out.reserve(std::min(count, 2 * columns + 8));
    LineBucket bucket{x, y, &out};
    walk(x, count, fromX, toX, columns, maxGap, bucket,
         [y](int i) { return std::isnan(y[i]); },
         [&out](double gapX) { out.append(QPointF(gapX, kNaN)); });
    return out;
}

QVector<TrendDecimation::BandPoint> TrendDecimation::reduceBand(const double *x,
                                                                const double *low,
                                                                const double *high, int count,
                                                                double fromX, double toX,
                                                                int columns, double maxGap)
{
    QVector<BandPoint> out;
    out.reserve(std::min(count, 2 * columns + 8));
    BandBucket bucket{x, low, high, &out};
    walk(x, count, fromX, toX, columns, maxGap, bucket,
         [low, high](int i) { return std::isnan(low[i]) || std::isnan(high[i]); },
         [&out](double gapX) { out.append({gapX, kNaN, kNaN}); });
    return out;
}
