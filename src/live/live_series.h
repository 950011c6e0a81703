#pragma once
// The points of the live chart, kept in time order, and what of them is worth drawing.
//
// A run of the program adds up to 3600 points an hour with no limit, so the chart is never
// handed every point: up to twice the bucket count it gets the points themselves; beyond that,
// the key range is cut into at most maxBuckets buckets and each gives its lowest and highest
// point, in time order. That keeps every peak and dip a pixel column can show, and keeps the
// cost of a redraw independent of the number of points. The buckets are kept up to date as
// points arrive, so adding a point costs O(1) (a point earlier than the first rebuilds them).

#include <cstddef>
#include <vector>

namespace veltra::live {

struct SeriesPoint {
    double key = 0.0;
    double value = 0.0;
    friend bool operator==(const SeriesPoint&, const SeriesPoint&) = default;
};

class LiveSeries {
public:
    explicit LiveSeries(std::size_t maxBuckets = 1024);

    void clear();
    // Inserts the point in key order; a point with an earlier key than the last goes where it
    // belongs, after any points with the same key.
    void add(double key, double value);

    [[nodiscard]] std::size_t size() const { return m_points.size(); }
    [[nodiscard]] bool empty() const { return m_points.empty(); }
    [[nodiscard]] const std::vector<SeriesPoint>& points() const { return m_points; }

    // What to draw for the whole series.
    [[nodiscard]] std::vector<SeriesPoint> drawPoints() const;
    // What to draw for the keys lo..hi (a zoomed view), with at most `buckets` buckets, plus the
    // nearest point on each side so the line runs on to the edges.
    [[nodiscard]] std::vector<SeriesPoint> drawPoints(double lo, double hi,
                                                      std::size_t buckets) const;

private:
    struct Bucket {
        SeriesPoint low;
        SeriesPoint high;
        bool used = false;
    };

    void rebuildBuckets();
    void addToBuckets(const SeriesPoint& p);
    void mergeBucketPairs();
    static void take(Bucket& bucket, const SeriesPoint& p);
    static void appendBucket(const Bucket& bucket, std::vector<SeriesPoint>& out);

    std::size_t m_maxBuckets;
    std::vector<SeriesPoint> m_points;
    // Buckets over the whole series, in use once it has more than 2 x m_maxBuckets points.
    std::vector<Bucket> m_buckets;
    double m_origin = 0.0;
    double m_bucketWidth = 0.0;
};

} // namespace veltra::live
