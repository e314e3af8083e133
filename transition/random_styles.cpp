// The styles drawn with the shared random generator: wipes whose edge is made
// of bars with jittered ends, wipes with a sprayed edge, and random squares.
// Every frame draws its numbers afresh.

#include "transition/primitives.h"
#include "transition/style_families.h"

namespace slidesaver {
namespace {

void Ragged(StyleFrame& f, std::int32_t rowExtent, std::int32_t columnExtent, int rowMode,
            int columnMode) {
  f.Clip = CreateRaggedRegion(rowExtent, columnExtent, f.W, f.H, rowMode, columnMode);
}

void Spray(StyleFrame& f, int rowMode, int columnMode) {
  f.Clip = CreateSprayRegion(f.X, f.Y, f.W, f.H, rowMode, columnMode);
}

void RandomSquares(StyleFrame& f) { f.Clip = CreateRandomSquaresRegion(f.W, f.H, f.p); }

}  // namespace

void AddRandomStyles(StyleSteps& t) {
  // Modes: 1 from the right / bottom, 2 from the left / top, 3 outward from
  // the centre line, 4 inward from both edges.
  t[65] = [](StyleFrame& f) { Ragged(f, f.X, 0, 1, 0); };
  t[66] = [](StyleFrame& f) { Ragged(f, f.X, 0, 2, 0); };
  t[67] = [](StyleFrame& f) { Ragged(f, f.X, 0, 3, 0); };
  t[68] = [](StyleFrame& f) { Ragged(f, f.X, 0, 4, 0); };
  t[76] = [](StyleFrame& f) { Ragged(f, 0, f.Y, 0, 1); };
  t[77] = [](StyleFrame& f) { Ragged(f, 0, f.Y, 0, 2); };
  t[78] = [](StyleFrame& f) { Ragged(f, 0, f.Y, 0, 3); };
  t[79] = [](StyleFrame& f) { Ragged(f, 0, f.Y, 0, 4); };
  t[100] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 1, 1); };
  t[101] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 1, 2); };
  t[102] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 2, 1); };
  t[103] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 2, 2); };
  t[104] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 1, 3); };
  t[105] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 2, 3); };
  t[106] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 3, 1); };
  t[107] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 3, 2); };
  t[108] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 3, 3); };
  t[109] = [](StyleFrame& f) { Ragged(f, f.X, f.Y, 4, 4); };
  t[123] = [](StyleFrame& f) { Spray(f, 1, 0); };
  t[124] = [](StyleFrame& f) { Spray(f, 2, 0); };
  t[125] = [](StyleFrame& f) { Spray(f, 0, 1); };
  t[126] = [](StyleFrame& f) { Spray(f, 0, 2); };
  t[127] = RandomSquares;
}

}  // namespace slidesaver
