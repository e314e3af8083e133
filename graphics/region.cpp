#include "graphics/region.h"

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

  // Unites the parts into `region` (cut to the union of `within`, if any), once something needs
  // the banded form.
  void Merge() {
    if (parts.empty()) return;
    pixman_region32_t united;
    Unite(parts, united);
    if (!within.empty()) {
      pixman_region32_t bounds;
      try {
        Unite(within, bounds);
      } catch (...) {
        pixman_region32_fini(&united);
        throw;
      }
      const bool ok = pixman_region32_intersect(&united, &united, &bounds);
      pixman_region32_fini(&bounds);
      if (!ok) {
        pixman_region32_fini(&united);
        throw std::bad_alloc();
      }
    }
    pixman_region32_fini(&region);
    region = united;
    parts.clear();
    parts.shrink_to_fit();
    within.clear();
    within.shrink_to_fit();
    banded = false;
  }

  static void Unite(std::span<const TRect> rects, pixman_region32_t& out) {
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(rects.size());
    for (const TRect& r : rects) boxes.push_back({r.Left, r.Top, r.Right, r.Bottom});
    if (!pixman_region32_init_rects(&out, boxes.data(), static_cast<int>(boxes.size()))) {
      throw std::bad_alloc();
    }
  }

  pixman_region32_t region;
  // The rectangles FromRects was given (non-empty, possibly overlapping), while not yet united.
  std::vector<TRect> parts;
  // The parts are the banded rectangles already (a shape's rows): uniting them changes nothing.
  bool banded = false;
  // Where not empty, the region is only the part of the parts' union inside these rectangles'
  // union (an intersection not yet worked out).
  std::vector<TRect> within;
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

  explicit SpanCollector(std::int64_t end) : end_(end) {}  // rows end before `end`

  // Rows are added top to bottom; `spans` are sorted, disjoint and non-empty. They may be taken
  // over, leaving `spans` with any content.
  void AddRow(std::int32_t y, std::vector<Span>& spans) {
    if (spans.empty()) return;
    if (!open_.empty() && bandBottom_ == y && open_ == spans) {
      ++bandBottom_;
      return;
    }
    Flush();
    open_.swap(spans);
    bandTop_ = y;
    bandBottom_ = y + 1;
  }

  std::vector<TRect> Finish() {
    Flush();
    return std::move(rects_);
  }

 private:
  void Flush() {
    // The rows below are likely to need as many rectangles as this one: room for them at once
    // (up to a bound) spares copying the list as it grows.
    if (rects_.empty()) {
      constexpr std::int64_t kMostReserved = 1 << 16;
      rects_.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(
          static_cast<std::int64_t>(open_.size()) * (end_ - bandTop_), 0, kMostReserved)));
    }
    for (const Span& s : open_) rects_.push_back(TRect{s.first, bandTop_, s.second, bandBottom_});
    open_.clear();
  }

  std::int64_t end_;
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
  if (other.impl_ && !other.impl_->parts.empty()) {
    impl_->parts = other.impl_->parts;
    impl_->banded = other.impl_->banded;
    impl_->within = other.impl_->within;
    return;
  }
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

Region Region::FromRects(std::vector<TRect>&& rects) {
  std::erase_if(rects, [](const TRect& r) { return r.IsEmpty(); });
  Region result;
  result.impl_->parts = std::move(rects);
  return result;
}

Region Region::FromRectsMerged(std::span<const TRect> rects) {
  Region result = FromRects(rects);
  result.impl_->Merge();
  return result;
}

Region Region::FromBands(std::vector<TRect> rects) {
  Region result;
  result.impl_->parts = std::move(rects);
  result.impl_->banded = true;
  return result;
}

std::span<const TRect> Region::Parts() const {
  if (!impl_ || impl_->banded || !impl_->within.empty()) return {};
  return impl_->parts;
}

std::array<std::span<const TRect>, 2> Region::IntersectedParts() const {
  if (!impl_ || impl_->within.empty()) return {};
  return {impl_->parts, impl_->within};
}

std::span<const TRect> Region::Bands() const {
  if (!impl_ || !impl_->banded) return {};
  return impl_->parts;
}

std::size_t Region::RectCount() const {
  if (!impl_) return 0;
  // Intersecting may cut every rectangle of one union by every one of the other.
  if (!impl_->within.empty()) return impl_->parts.size() * impl_->within.size();
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
    std::int64_t activeUntil = 0;  // the first row an active edge has left
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
    scans.push_back(Scan{std::move(edges), 0, {}, 0});
  }
  if (scans.empty()) return Region();
  // Polygons start scanning at their first row and leave once past their last.
  std::stable_sort(scans.begin(), scans.end(), [](const Scan& a, const Scan& b) {
    return a.edges.front().top < b.edges.front().top;
  });
  std::size_t nextScan = 0;
  std::vector<Scan*> scanning;

  const RowRange rows = LimitRows(firstRow, lastRow);
  SpanCollector collector(rows.second);
  std::vector<Crossing> crossings;
  std::vector<SpanCollector::Span> spans, row;
  for (std::int64_t y = rows.first; y < rows.second; ++y) {
    row.clear();
    bool sorted = true;  // the row's spans so far, left to right and apart
    while (nextScan < scans.size() && scans[nextScan].edges.front().top <= y) {
      scanning.push_back(&scans[nextScan++]);
    }
    std::int64_t nextTop = nextScan < scans.size() ? scans[nextScan].edges.front().top
                                                   : std::numeric_limits<std::int64_t>::max();
    bool finished = false;  // a polygon has no edges left
    for (Scan* scanned : scanning) {
      Scan& scan = *scanned;
      const bool arriving = scan.next < scan.edges.size() && scan.edges[scan.next].top <= y;
      if (arriving || y >= scan.activeUntil) {
        while (scan.next < scan.edges.size() && scan.edges[scan.next].top <= y) {
          scan.active.push_back(&scan.edges[scan.next++]);
        }
        std::erase_if(scan.active, [y](const Edge* e) { return e->bottom <= y; });
        scan.activeUntil = std::numeric_limits<std::int64_t>::max();
        for (const Edge* e : scan.active) scan.activeUntil = std::min(scan.activeUntil, e->bottom);
      }
      if (scan.active.empty()) {
        if (scan.next < scan.edges.size()) {
          nextTop = std::min(nextTop, scan.edges[scan.next].top);
        } else {
          finished = true;
        }
        continue;
      }
      nextTop = y + 1;
      const double centre = static_cast<double>(y) + 0.5;
      const auto crossing = [centre](const Edge* e) {
        return Crossing{e->x0 + (centre - e->y0) * e->slope, e->direction};
      };
      if (scan.active.size() == 2 && scan.active[0]->direction != scan.active[1]->direction) {
        // Two edges of a closed outline: filled between them.
        const double a = crossing(scan.active[0]).x, b = crossing(scan.active[1]).x;
        const std::int32_t left = ClampToInt32(FirstCentreAtOrAfter(std::min(a, b)));
        const std::int32_t right = ClampToInt32(FirstCentreAtOrAfter(std::max(a, b)));
        if (left >= right) continue;
        if (!row.empty() && left <= row.back().second) sorted = false;
        row.emplace_back(left, right);
        continue;
      }
      crossings.clear();
      for (const Edge* e : scan.active) crossings.push_back(crossing(e));
      WindingSpans(crossings, spans);
      if (spans.empty()) continue;
      if (!row.empty() && spans.front().first <= row.back().second) sorted = false;
      row.insert(row.end(), spans.begin(), spans.end());
    }
    if (finished) {
      std::erase_if(scanning, [](const Scan* scan) {
        return scan->active.empty() && scan->next == scan->edges.size();
      });
    }
    if (!sorted) {
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
  return FromBands(collector.Finish());
}

Region Region::Union(const Region& other) const {
  Region result;
  Check(pixman_region32_union(&result.impl_->region, Raw(impl_), Raw(other.impl_)));
  return result;
}

Region Region::Intersect(const Region& other) const {
  Region result;
  if (!Parts().empty() && !other.Parts().empty()) {
    // Both are rectangles not yet united: whoever can work on them that way (SelectCopy)
    // spares uniting both and intersecting the two unions.
    result.impl_->parts = impl_->parts;
    result.impl_->within = other.impl_->parts;
    return result;
  }
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
  Raw(result.impl_);  // parts are moved as the united region
  pixman_region32_translate(&result.impl_->region, dx, dy);
  return result;
}

bool Region::Empty() const {
  // Parts are never empty rectangles, but an intersection of two unions may be empty.
  if (impl_ && !impl_->parts.empty() && impl_->within.empty()) return false;
  return !pixman_region32_not_empty(Raw(impl_));
}

bool Region::Contains(std::int32_t x, std::int32_t y) const {
  return pixman_region32_contains_point(Raw(impl_), x, y, nullptr);
}

TRect Region::Extents() const {
  if (Empty()) return TRect{};
  if (!impl_->parts.empty() && impl_->within.empty()) {
    TRect extents = impl_->parts.front();
    for (const TRect& r : impl_->parts) {
      extents = TRect{std::min(extents.Left, r.Left), std::min(extents.Top, r.Top),
                      std::max(extents.Right, r.Right), std::max(extents.Bottom, r.Bottom)};
    }
    return extents;
  }
  return ToRect(*pixman_region32_extents(Raw(impl_)));
}

std::vector<TRect> Region::Rects() const {
  if (const std::span<const TRect> bands = Bands(); !bands.empty()) {
    return std::vector<TRect>(bands.begin(), bands.end());
  }
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
