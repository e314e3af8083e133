#include "platform/region.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

namespace slidesaver {

struct Region::Impl {
  Impl() { pixman_region32_init(&region); }
  ~Impl() { pixman_region32_fini(&region); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // Unites the parts into `region`, once something needs the banded form.
  void Merge() {
    if (parts.empty()) return;
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(parts.size());
    for (const TRect& r : parts) boxes.push_back({r.Left, r.Top, r.Right, r.Bottom});
    pixman_region32_fini(&region);
    if (!pixman_region32_init_rects(&region, boxes.data(), static_cast<int>(boxes.size()))) {
      pixman_region32_init(&region);
      throw std::bad_alloc();
    }
    parts.clear();
    parts.shrink_to_fit();
  }

  pixman_region32_t region;
  // The rectangles FromRects was given (non-empty, possibly overlapping), while not yet united.
  std::vector<TRect> parts;
};

namespace {

const pixman_region32_t* EmptyRegion() {
  static const pixman_region32_t empty = [] {
    pixman_region32_t r;
    pixman_region32_init(&r);
    return r;
  }();
  return &empty;
}

// The pixman region behind a Region's Impl pointer, its parts merged; a moved-from Region reads
// as empty.
template <typename ImplPtr>
const pixman_region32_t* Raw(const ImplPtr& impl) {
  if (!impl) return EmptyRegion();
  impl->Merge();
  return &impl->region;
}

// Keeps the pixman result or reports the allocation failure it signals.
void Check(pixman_bool_t ok) {
  if (!ok) throw std::bad_alloc();
}

pixman_box32_t ToBox(const TRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

TRect ToRect(const pixman_box32_t& b) { return TRect{b.x1, b.y1, b.x2, b.y2}; }

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The first pixel whose centre is at or right of `edge`.
std::int64_t FirstCentreAtOrAfter(double edge) {
  return static_cast<std::int64_t>(std::ceil(edge - 0.5));
}

// Rounded rectangles and polygons are rasterised row by row, which costs time
// and memory per row; rows farther than this from 0 never reach a bitmap and
// are left out, so that shapes with extreme coordinates stay cheap.
constexpr std::int64_t kRowLimit = std::int64_t{1} << 20;

using RowRange = std::pair<std::int64_t, std::int64_t>;  // [first, second)

RowRange LimitRows(std::int64_t first, std::int64_t end) {
  return {std::max(first, -kRowLimit), std::min(end, kRowLimit)};
}

// Builds the rectangles of a shape row by row: consecutive rows with the same
// spans grow one band of rectangles instead of adding a band per row.
class SpanCollector {
 public:
  using Span = std::pair<std::int32_t, std::int32_t>;  // [left, right)

  // Rows are added top to bottom; `spans` are sorted, disjoint and non-empty.
  void AddRow(std::int32_t y, const std::vector<Span>& spans) {
    if (spans.empty()) return;
    if (!open_.empty() && bandBottom_ == y && open_ == spans) {
      ++bandBottom_;
      return;
    }
    Flush();
    open_ = spans;
    bandTop_ = y;
    bandBottom_ = y + 1;
  }

  std::vector<TRect> Finish() {
    Flush();
    return std::move(rects_);
  }

 private:
  void Flush() {
    for (const Span& s : open_) rects_.push_back(TRect{s.first, bandTop_, s.second, bandBottom_});
    open_.clear();
  }

  std::vector<Span> open_;
  std::int32_t bandTop_ = 0;
  std::int32_t bandBottom_ = 0;
  std::vector<TRect> rects_;
};

// A non-horizontal polygon edge, oriented top to bottom with its direction kept.
struct Edge {
  std::int64_t top;     // first row whose centre line crosses the edge
  std::int64_t bottom;  // one past the last such row
  double x0, y0, slope;  // x = x0 + (yc - y0) * slope
  int direction;         // +1 downwards, -1 upwards
};

struct Crossing {
  double x;
  int direction;
};

// True when fewer than three distinct points are given or all lie on one line.
bool IsDegenerate(std::span<const TPoint> points) {
  const TPoint& a = points[0];
  std::size_t second = 1;
  while (second < points.size() && points[second] == a) ++second;
  if (second >= points.size()) return true;
  const TPoint& b = points[second];
  for (std::size_t k = second + 1; k < points.size(); ++k) {
    const TPoint& c = points[k];
    const __int128 cross =
        static_cast<__int128>(static_cast<std::int64_t>(b.X) - a.X) *
            (static_cast<std::int64_t>(c.Y) - a.Y) -
        static_cast<__int128>(static_cast<std::int64_t>(b.Y) - a.Y) *
            (static_cast<std::int64_t>(c.X) - a.X);
    if (cross != 0) return false;
  }
  return true;
}

std::vector<Edge> PolygonEdges(std::span<const TPoint> points) {
  std::vector<Edge> edges;
  edges.reserve(points.size());
  for (std::size_t k = 0; k < points.size(); ++k) {
    const TPoint& p = points[k];
    const TPoint& q = points[(k + 1) % points.size()];
    if (p.Y == q.Y) continue;
    // A row y is crossed when its centre line y + 0.5 lies in [min, max) of the
    // edge's y; both ends are integers, so that is min <= y < max.
    Edge e;
    e.top = std::min(p.Y, q.Y);
    e.bottom = std::max(p.Y, q.Y);
    e.x0 = p.X;
    e.y0 = p.Y;
    e.slope = (static_cast<double>(q.X) - p.X) / (static_cast<double>(q.Y) - p.Y);
    e.direction = q.Y > p.Y ? 1 : -1;
    edges.push_back(e);
  }
  std::sort(edges.begin(), edges.end(),
            [](const Edge& a, const Edge& b) { return a.top < b.top; });
  return edges;
}

// The spans of one row from its crossings, filled where the winding number is not 0.
void WindingSpans(std::vector<Crossing>& crossings, std::vector<SpanCollector::Span>& spans) {
  std::sort(crossings.begin(), crossings.end(),
            [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
  spans.clear();
  int winding = 0;
  double start = 0;
  for (const Crossing& c : crossings) {
    const int before = winding;
    winding += c.direction;
    if (before == 0 && winding != 0) {
      start = c.x;
    } else if (before != 0 && winding == 0) {
      // Pixels whose centre x + 0.5 lies in [start, c.x).
      const std::int32_t left = ClampToInt32(FirstCentreAtOrAfter(start));
      const std::int32_t right = ClampToInt32(FirstCentreAtOrAfter(c.x));
      if (left >= right) continue;
      if (!spans.empty() && spans.back().second >= left) {
        spans.back().second = std::max(spans.back().second, right);
      } else {
        spans.emplace_back(left, right);
      }
    }
  }
}

}  // namespace

Region::Region() : impl_(std::make_unique<Impl>()) {}

Region::~Region() = default;

Region::Region(const Region& other) : impl_(std::make_unique<Impl>()) {
  Check(pixman_region32_copy(&impl_->region, Raw(other.impl_)));
}

Region& Region::operator=(const Region& other) {
  if (this != &other) {
    Region copy(other);
    impl_ = std::move(copy.impl_);
  }
  return *this;
}

Region::Region(Region&& other) noexcept = default;

Region& Region::operator=(Region&& other) noexcept = default;

Region Region::FromRect(const TRect& r) {
  Region result;
  if (!r.IsEmpty()) {
    const pixman_box32_t box = ToBox(r);
    Check(pixman_region32_init_rects(&result.impl_->region, &box, 1));
  }
  return result;
}

Region Region::FromRects(std::span<const TRect> rects) {
  Region result;
  std::vector<TRect>& parts = result.impl_->parts;
  parts.reserve(rects.size());
  for (const TRect& r : rects) {
    if (!r.IsEmpty()) parts.push_back(r);
  }
  return result;
}

Region Region::FromRectsMerged(std::span<const TRect> rects) {
  Region result = FromRects(rects);
  result.impl_->Merge();
  return result;
}

std::span<const TRect> Region::Parts() const {
  if (!impl_) return {};
  return impl_->parts;
}

std::size_t Region::RectCount() const {
  if (!impl_) return 0;
  if (!impl_->parts.empty()) return impl_->parts.size();
  return static_cast<std::size_t>(pixman_region32_n_rects(&impl_->region));
}

Region Region::RoundRect(const TRect& r, std::int32_t ellipseWidth, std::int32_t ellipseHeight) {
  const std::int32_t left = std::min(r.Left, r.Right);
  const std::int32_t right = std::max(r.Left, r.Right);
  const std::int32_t top = std::min(r.Top, r.Bottom);
  const std::int32_t bottom = std::max(r.Top, r.Bottom);
  const TRect box{left, top, right, bottom};
  if (box.IsEmpty()) return Region();
  const std::int64_t width = static_cast<std::int64_t>(right) - left;
  const std::int64_t height = static_cast<std::int64_t>(bottom) - top;
  const std::int64_t ew = std::min<std::int64_t>(ellipseWidth, width);
  const std::int64_t eh = std::min<std::int64_t>(ellipseHeight, height);
  if (ew <= 0 || eh <= 0) return FromRect(box);

  const double a = ew / 2.0;
  const double b = eh / 2.0;

  // Corner row k (counted from the outer edge, centre k + 0.5 inside it) is
  // shared by the top row top + k and the bottom row bottom - 1 - k; it covers
  // the pixels whose centre lies within the ellipse's half-width of its centre,
  // counted from both sides alike so that the shape stays symmetric.
  const std::int64_t cornerRows = eh / 2;
  const auto cornerRect = [&](std::int64_t k, std::int64_t y) {
    const double dy = (b - (k + 0.5)) / b;
    const double halfWidth = a * std::sqrt(std::max(0.0, 1.0 - dy * dy));
    const std::int64_t inset = std::max<std::int64_t>(0, FirstCentreAtOrAfter(a - halfWidth));
    return TRect{static_cast<std::int32_t>(left + inset), static_cast<std::int32_t>(y),
                 static_cast<std::int32_t>(right - inset), static_cast<std::int32_t>(y + 1)};
  };
  std::vector<TRect> rects;
  const RowRange topRows = LimitRows(top, top + cornerRows);
  for (std::int64_t y = topRows.first; y < topRows.second; ++y) {
    rects.push_back(cornerRect(y - top, y));
  }
  const RowRange bottomRows = LimitRows(bottom - cornerRows, bottom);
  for (std::int64_t y = bottomRows.first; y < bottomRows.second; ++y) {
    rects.push_back(cornerRect(bottom - 1 - y, y));
  }
  const RowRange middle = LimitRows(top + cornerRows, bottom - cornerRows);
  if (middle.first < middle.second) {
    rects.push_back(TRect{left, static_cast<std::int32_t>(middle.first), right,
                          static_cast<std::int32_t>(middle.second)});
  }
  return FromRectsMerged(rects);
}

Region Region::Polygon(std::span<const TPoint> points) {
  const std::span<const TPoint> one[] = {points};
  return Polygons(one);
}

Region Region::Polygons(std::span<const std::span<const TPoint>> polygons) {
  // Each polygon is scanned by itself (its own winding numbers); a row's spans
  // are the union of what every polygon fills there.
  struct Scan {
    std::vector<Edge> edges;
    std::size_t next = 0;
    std::vector<const Edge*> active;
  };
  std::vector<Scan> scans;
  std::int64_t firstRow = std::numeric_limits<std::int64_t>::max();
  std::int64_t lastRow = std::numeric_limits<std::int64_t>::min();
  for (std::span<const TPoint> points : polygons) {
    if (points.size() < 3 || IsDegenerate(points)) continue;
    std::vector<Edge> edges = PolygonEdges(points);
    if (edges.empty()) continue;
    firstRow = std::min(firstRow, edges.front().top);
    for (const Edge& e : edges) lastRow = std::max(lastRow, e.bottom);
    scans.push_back(Scan{std::move(edges), 0, {}});
  }
  if (scans.empty()) return Region();
  // Polygons start scanning at their first row and leave once past their last.
  std::sort(scans.begin(), scans.end(),
            [](const Scan& a, const Scan& b) { return a.edges.front().top < b.edges.front().top; });
  std::size_t nextScan = 0;
  std::vector<Scan*> scanning;

  SpanCollector collector;
  std::vector<Crossing> crossings;
  std::vector<SpanCollector::Span> spans, row;
  const RowRange rows = LimitRows(firstRow, lastRow);
  for (std::int64_t y = rows.first; y < rows.second; ++y) {
    row.clear();
    std::size_t filling = 0;  // polygons with spans in this row
    while (nextScan < scans.size() && scans[nextScan].edges.front().top <= y) {
      scanning.push_back(&scans[nextScan++]);
    }
    std::int64_t nextTop = nextScan < scans.size() ? scans[nextScan].edges.front().top
                                                   : std::numeric_limits<std::int64_t>::max();
    for (Scan* scanned : scanning) {
      Scan& scan = *scanned;
      while (scan.next < scan.edges.size() && scan.edges[scan.next].top <= y) {
        scan.active.push_back(&scan.edges[scan.next++]);
      }
      std::erase_if(scan.active, [y](const Edge* e) { return e->bottom <= y; });
      if (scan.active.empty()) {
        if (scan.next < scan.edges.size()) nextTop = std::min(nextTop, scan.edges[scan.next].top);
        continue;
      }
      nextTop = y + 1;
      const double centre = static_cast<double>(y) + 0.5;
      crossings.clear();
      for (const Edge* e : scan.active) {
        crossings.push_back({e->x0 + (centre - e->y0) * e->slope, e->direction});
      }
      WindingSpans(crossings, spans);
      if (!spans.empty()) ++filling;
      row.insert(row.end(), spans.begin(), spans.end());
    }
    std::erase_if(scanning, [](const Scan* scan) {
      return scan->active.empty() && scan->next == scan->edges.size();
    });
    if (filling > 1) {
      std::sort(row.begin(), row.end());
      std::size_t merged = 0;
      for (const SpanCollector::Span& x : row) {
        if (merged > 0 && x.first <= row[merged - 1].second) {
          row[merged - 1].second = std::max(row[merged - 1].second, x.second);
        } else {
          row[merged++] = x;
        }
      }
      row.resize(merged);
    }
    collector.AddRow(static_cast<std::int32_t>(y), row);
    // Rows where no polygon has an edge are skipped.
    if (nextTop > y + 1 && nextTop != std::numeric_limits<std::int64_t>::max()) y = nextTop - 1;
    if (nextTop == std::numeric_limits<std::int64_t>::max()) break;
  }
  return FromRectsMerged(collector.Finish());
}

Region Region::Union(const Region& other) const {
  Region result;
  Check(pixman_region32_union(&result.impl_->region, Raw(impl_), Raw(other.impl_)));
  return result;
}

Region Region::Intersect(const Region& other) const {
  Region result;
  Check(pixman_region32_intersect(&result.impl_->region, Raw(impl_), Raw(other.impl_)));
  return result;
}

Region Region::Xor(const Region& other) const { return Union(other).Subtract(Intersect(other)); }

Region Region::Subtract(const Region& other) const {
  Region result;
  Check(pixman_region32_subtract(&result.impl_->region, Raw(impl_), Raw(other.impl_)));
  return result;
}

Region Region::Offset(std::int32_t dx, std::int32_t dy) const {
  Region result(*this);
  pixman_region32_translate(&result.impl_->region, dx, dy);
  return result;
}

bool Region::Empty() const { return !pixman_region32_not_empty(Raw(impl_)); }

bool Region::Contains(std::int32_t x, std::int32_t y) const {
  return pixman_region32_contains_point(Raw(impl_), x, y, nullptr);
}

TRect Region::Extents() const {
  if (Empty()) return TRect{};
  return ToRect(*pixman_region32_extents(Raw(impl_)));
}

std::vector<TRect> Region::Rects() const {
  int count = 0;
  const pixman_box32_t* boxes = pixman_region32_rectangles(Raw(impl_), &count);
  std::vector<TRect> rects;
  rects.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) rects.push_back(ToRect(boxes[k]));
  return rects;
}

bool Region::operator==(const Region& other) const {
  const pixman_region32_t* a = Raw(impl_);
  const pixman_region32_t* b = Raw(other.impl_);
  if (pixman_region32_equal(a, b)) return true;
  // Different rectangle lists may still cover the same pixels.
  return Xor(other).Empty();
}

}  // namespace slidesaver
