#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "base/geometry.h"

namespace slidesaver {

// A set of pixels kept as y-x banded rectangles. A pixel (x, y) belongs to a
// shape built from a rounded rectangle or a polygon when its centre
// (x + 0.5, y + 0.5) lies inside the shape.
class Region {
 public:
  Region();  // empty
  ~Region();
  Region(const Region& other);
  Region& operator=(const Region& other);
  Region(Region&& other) noexcept;
  Region& operator=(Region&& other) noexcept;

  // The pixels left <= x < right, top <= y < bottom (none for an empty rectangle).
  static Region FromRect(const TRect& r);
  // The union of all the rectangles: the same pixels as uniting them one at a time. They are
  // kept as given until something needs the banded form (see Parts), then united in one pass.
  static Region FromRects(std::span<const TRect> rects);
  static Region FromRects(std::vector<TRect>&& rects);  // the same, taking the list over
  // A rectangle whose corners are quarter ellipses of the given full width and
  // height; an ellipse larger than the rectangle is limited to its size.
  static Region RoundRect(const TRect& r, std::int32_t ellipseWidth, std::int32_t ellipseHeight);
  // A closed polygon (the last point joins the first), filled by the winding rule.
  static Region Polygon(std::span<const TPoint> points);
  // The union of several polygons, each filled by the winding rule on its own:
  // the same pixels as uniting the polygon regions, in one scan over the rows.
  static Region Polygons(std::span<const std::span<const TPoint>> polygons);

  Region Union(const Region& other) const;
  Region Intersect(const Region& other) const;
  Region Xor(const Region& other) const;
  Region Subtract(const Region& other) const;  // the pixels of this one not in `other`
  Region Offset(std::int32_t dx, std::int32_t dy) const;

  bool Empty() const;
  bool Contains(std::int32_t x, std::int32_t y) const;
  TRect Extents() const;  // all 0 when empty
  // The banded rectangles, top to bottom, left to right within a band.
  std::vector<TRect> Rects() const;
  bool operator==(const Region& other) const;
  // The non-empty rectangles of a region made by FromRects, possibly overlapping, as long as
  // nothing has needed them united; empty otherwise. Whoever can work on overlapping rectangles
  // (SelectCopy) spares the merge that way.
  std::span<const TRect> Parts() const;
  // The banded rectangles (as Rects gives them) without a copy, where the region keeps them
  // so itself (a polygon's rows); empty otherwise.
  std::span<const TRect> Bands() const;
  // The two lists of rectangles (as Parts gives them) of a region made as the intersection of two
  // regions made by FromRects, whose unions intersect in it, as long as nothing has needed it
  // worked out; both empty otherwise.
  std::array<std::span<const TRect>, 2> IntersectedParts() const;
  // How many rectangles the region is kept as (its parts, or its banded rectangles; for an
  // intersection not yet worked out, as many as it may come to): what working on it costs.
  std::size_t RectCount() const;

 private:
  // FromRects for rectangles in few bands of few spans each (the rows of a shape), which are
  // composed fastest band by band: united at once.
  static Region FromRectsMerged(std::span<const TRect> rects);
  // A region of rectangles that are banded already: bands top to bottom, each of disjoint,
  // non-touching rectangles left to right, no band continuing the one above with the same
  // columns.
  static Region FromBands(std::vector<TRect> rects);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace slidesaver
