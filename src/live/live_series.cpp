#include "live/live_series.h"

#include <algorithm>
#include <cmath>

namespace veltra::live {

LiveSeries::LiveSeries(std::size_t maxBuckets)
    : m_maxBuckets(std::max<std::size_t>(2, maxBuckets)) {}

void LiveSeries::clear() {
    m_points.clear();
    m_buckets.clear();
}

void LiveSeries::add(double key, double value) {
    const SeriesPoint p{key, value};
    if (m_points.empty() || key >= m_points.back().key) {
        m_points.push_back(p);
    } else {
        const auto at = std::upper_bound(m_points.begin(), m_points.end(), key,
                                         [](double k, const SeriesPoint& q) { return k < q.key; });
        m_points.insert(at, p);
    }
    if (m_points.size() <= 2 * m_maxBuckets) {
        return;
    }
    if (m_buckets.empty() || key < m_origin) {
        rebuildBuckets();
    } else {
        addToBuckets(p);
    }
}

void LiveSeries::take(Bucket& b, const SeriesPoint& p) {
    if (!b.used) {
        b.low = b.high = p;
        b.used = true;
        return;
    }
    if (p.value < b.low.value) {
        b.low = p;
    }
    if (p.value > b.high.value) {
        b.high = p;
    }
}

void LiveSeries::appendBucket(const Bucket& b, std::vector<SeriesPoint>& out) {
    if (!b.used) {
        return;
    }
    if (b.low == b.high) {
        out.push_back(b.low);
    } else if (b.low.key <= b.high.key) {
        out.push_back(b.low);
        out.push_back(b.high);
    } else {
        out.push_back(b.high);
        out.push_back(b.low);
    }
}

void LiveSeries::rebuildBuckets() {
    m_origin = m_points.front().key;
    const double span = m_points.back().key - m_origin;
    // Half the buckets are used at first, so the series can grow before they merge.
    m_bucketWidth = span > 0.0 ? span / static_cast<double>(m_maxBuckets / 2) : 1.0;
    m_buckets.assign(m_maxBuckets, Bucket{});
    for (const SeriesPoint& p : m_points) {
        addToBuckets(p);
    }
}

void LiveSeries::mergeBucketPairs() {
    std::vector<Bucket> merged(m_maxBuckets);
    for (std::size_t i = 0; i < m_buckets.size(); ++i) {
        Bucket& into = merged[i / 2];
        if (m_buckets[i].used) {
            take(into, m_buckets[i].low);
            take(into, m_buckets[i].high);
        }
    }
    m_buckets = std::move(merged);
    m_bucketWidth *= 2.0;
}

void LiveSeries::addToBuckets(const SeriesPoint& p) {
    auto index = static_cast<std::size_t>(std::floor((p.key - m_origin) / m_bucketWidth));
    while (index >= m_maxBuckets) {
        mergeBucketPairs();
        index = static_cast<std::size_t>(std::floor((p.key - m_origin) / m_bucketWidth));
    }
    take(m_buckets[index], p);
}

std::vector<SeriesPoint> LiveSeries::drawPoints() const {
    if (m_points.size() <= 2 * m_maxBuckets) {
        return m_points;
    }
    std::vector<SeriesPoint> out;
    out.reserve(2 * m_maxBuckets + 2);
    // The first and the last point always, so the line spans the whole series.
    out.push_back(m_points.front());
    for (const Bucket& b : m_buckets) {
        appendBucket(b, out);
    }
    out.push_back(m_points.back());
    return out;
}

std::vector<SeriesPoint> LiveSeries::drawPoints(double lo, double hi, std::size_t buckets) const {
    const auto byKey = [](const SeriesPoint& q, double k) { return q.key < k; };
    auto first = std::lower_bound(m_points.begin(), m_points.end(), lo, byKey);
    auto last = std::upper_bound(m_points.begin(), m_points.end(), hi,
                                 [](double k, const SeriesPoint& q) { return k < q.key; });
    if (first != m_points.begin()) {
        --first; // the neighbour outside the view keeps the line running to the edge
    }
    if (last != m_points.end()) {
        ++last;
    }
    const auto count = static_cast<std::size_t>(last - first);
    buckets = std::max<std::size_t>(1, buckets);
    if (count <= 2 * buckets || !(hi > lo)) {
        return {first, last};
    }
    std::vector<Bucket> view(buckets);
    const double width = (hi - lo) / static_cast<double>(buckets);
    std::vector<SeriesPoint> out;
    out.push_back(*first);
    for (auto it = first + 1; it != last - 1; ++it) {
        const double slot = std::floor((it->key - lo) / width);
        const auto index =
            static_cast<std::size_t>(std::clamp(slot, 0.0, static_cast<double>(buckets - 1)));
        take(view[index], *it);
    }
    for (const Bucket& b : view) {
        appendBucket(b, out);
    }
    out.push_back(*(last - 1));
    return out;
}

} // namespace veltra::live
