// The curved and triangular styles: rounded rectangles and triangles that grow
// with the progress, reaching past the picture where that curves the edge.

#include <array>
#include <initializer_list>
#include <span>
#include <vector>

#include "base/muldiv.h"
#include "transition/primitives.h"
#include "transition/style_families.h"

namespace slidesaver {
namespace {

void Rounded(StyleFrame& f, TRect r, std::int32_t ellipseWidth, std::int32_t ellipseHeight) {
  f.Clip = Region::RoundRect(r, ellipseWidth, ellipseHeight);
}

Region Triangle(TPoint p0, TPoint p1, TPoint p2) { return *CreateTriangleRegion(p0, p1, p2); }

using Corners = std::array<TPoint, 3>;

// The union of the triangles: the same pixels as uniting them one at a time,
// found in one scan over the rows.
void Triangles(StyleFrame& f, std::span<const Corners> triangles) {
  std::vector<std::span<const TPoint>> polygons(triangles.begin(), triangles.end());
  f.Clip = Region::Polygons(polygons);
}

void Triangles(StyleFrame& f, std::initializer_list<Corners> triangles) {
  Triangles(f, std::span<const Corners>(triangles.begin(), triangles.size()));
}

// The picture outside a rounded box shrinking from beyond the edges to the centre.
void ClosingBox(StyleFrame& f) {
  const std::int32_t w = f.W, h = f.H, x = f.X, y = f.Y;
  const Region picture = Region::FromRect(TRect{0, 0, w, h});
  const Region box = Region::RoundRect(
      TRect{x - w / 2, y - h / 2, (3 * w) / 2 - x, (3 * h) / 2 - y}, (9 * (w - x)) / 5,
      (9 * (h - y)) / 5);
  f.Clip = box.Xor(picture);
}

// Four blades turning clockwise about the centre, each sweeping one edge.
void Pinwheel(StyleFrame& f) {
  const std::int32_t w = f.W, h = f.H, x = f.X, y = f.Y;
  const TPoint c{w / 2, h / 2};
  Triangles(f, {Corners{c, TPoint{0, h}, TPoint{0, h - y}},
                Corners{TPoint{0, 0}, TPoint{x, 0}, c},
                Corners{TPoint{w - x, h}, c, TPoint{w, h}},
                Corners{c, TPoint{w, 0}, TPoint{w, y}}});
}

// A 10 x 10 grid of tiles, each wiped diagonally from its top-left corner with
// legs in the picture's aspect ratio.
void DiagonalTiles(StyleFrame& f) {
  const std::int32_t legX = f.X / 5;
  const std::int32_t legY = MulDiv(legX, f.H, f.W);
  std::array<Corners, 100> tiles;
  for (std::int32_t r = 0; r < 10; ++r) {
    for (std::int32_t c = 0; c < 10; ++c) {
      const std::int32_t x0 = (c * f.W) / 10;
      const std::int32_t y0 = (r * f.H) / 10;
      tiles[r * 10 + c] = Corners{TPoint{x0, y0}, TPoint{x0 + legX, y0}, TPoint{x0, y0 + legY}};
    }
  }
  Triangles(f, tiles);
}

}  // namespace

void AddShapeStyles(StyleSteps& t) {
  // Curved wipes: the leading side of a rectangle with huge rounded corners.
  t[58] = [](StyleFrame& f) {
    Rounded(f, TRect{-2 * f.W, -5, 2 * f.X, f.H + 5}, 2 * f.W, 2 * f.W);
  };
  t[59] = [](StyleFrame& f) {
    Rounded(f, TRect{f.W - 2 * f.X, -5, 3 * f.W, f.H + 5}, 2 * f.W, 2 * f.W);
  };
  t[69] = [](StyleFrame& f) {
    Rounded(f, TRect{-5, -2 * f.H, f.W + 5, 2 * f.Y}, 2 * f.H, 2 * f.H);
  };
  t[70] = [](StyleFrame& f) {
    Rounded(f, TRect{-5, f.H - 2 * f.Y, f.W + 5, 3 * f.H}, 2 * f.H, 2 * f.H);
  };
  // Corner wipes with an elliptic edge; 83 turns a circle of radius H.
  t[80] = [](StyleFrame& f) {
    Rounded(f, TRect{-2 * f.W, -2 * f.H, 2 * f.X, 2 * f.Y}, 2 * f.W, 2 * f.H);
  };
  t[81] = [](StyleFrame& f) {
    Rounded(f, TRect{f.W - 2 * f.X, -2 * f.H, 3 * f.W, 2 * f.Y}, 2 * f.W, 2 * f.H);
  };
  t[82] = [](StyleFrame& f) {
    Rounded(f, TRect{-2 * f.W, f.H - 2 * f.Y, 2 * f.X, 3 * f.H}, 2 * f.W, 2 * f.H);
  };
  t[83] = [](StyleFrame& f) {
    Rounded(f, TRect{f.W - 2 * f.X, f.H - 2 * f.Y, 3 * f.W, 3 * f.H}, 2 * f.H, 2 * f.H);
  };
  // A nearly elliptic box growing from the centre, and the picture outside
  // one shrinking towards it.
  t[84] = [](StyleFrame& f) {
    Rounded(f, TRect{f.W / 2 - f.X, f.H / 2 - f.Y, f.W / 2 + f.X, f.H / 2 + f.Y}, (9 * f.X) / 5,
            (9 * f.Y) / 5);
  };
  t[85] = ClosingBox;
  // Diagonal wipes from a corner: the hypotenuse reaches the far corner at 100.
  t[110] = [](StyleFrame& f) { f.Clip = Triangle({0, 0}, {2 * f.X, 0}, {0, 2 * f.Y}); };
  t[111] = [](StyleFrame& f) {
    f.Clip = Triangle({f.W, 0}, {f.W - 2 * f.X, 0}, {f.W, 2 * f.Y});
  };
  t[112] = [](StyleFrame& f) {
    f.Clip = Triangle({0, f.H}, {2 * f.X, f.H}, {0, f.H - 2 * f.Y});
  };
  t[113] = [](StyleFrame& f) {
    f.Clip = Triangle({f.W, f.H}, {f.W - 2 * f.X, f.H}, {f.W, f.H - 2 * f.Y});
  };
  // Two halves meeting on the diagonal from (0, 0) to (W, H).
  t[114] = [](StyleFrame& f) {
    Triangles(f, {Corners{TPoint{f.W, f.H}, TPoint{f.W, 0}, TPoint{f.W - f.X, 0}},
                  Corners{TPoint{0, f.H}, TPoint{0, 0}, TPoint{f.X, f.H}}});
  };
  t[115] = [](StyleFrame& f) {
    Triangles(f, {Corners{TPoint{f.W, f.H}, TPoint{0, f.H}, TPoint{0, f.H - f.Y}},
                  Corners{TPoint{f.W, 0}, TPoint{0, 0}, TPoint{f.W, f.Y}}});
  };
  t[116] = Pinwheel;
  t[117] = DiagonalTiles;
}

}  // namespace slidesaver
