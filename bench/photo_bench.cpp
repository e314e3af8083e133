// The cost of showing a large photo fitted to the screen, as a ratio to a plain
// full-size decode of the same file measured in the same run.
//
//   photo_bench [--picture WxH] [--screen WxH] [--runs N]
//
// Each run times both: DecodeJpeg of the whole picture (the baseline), and the
// picture change with PictureFit "shrink": the decode at the library's fitting
// scale and the resampling (which the show does on a worker while the picture
// before stands), then the drawing centred on a black screen (what the change
// itself waits for); and the same with PictureFill "blur", whose backdrop the worker makes too.
// Prints the median of each and their ratio.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/jpeg.h"
#include "payload/graphics.h"
#include "saver/saver_window.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

bool ParseSize(const char* text, int& width, int& height) {
  char x = 0;
  return std::sscanf(text, "%d%c%d", &width, &x, &height) == 3 && x == 'x' && width > 0 &&
         height > 0;
}

template <typename F>
double Seconds(F&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace
}  // namespace slidesaver

int main(int argc, char** argv) {
  using namespace slidesaver;
  int pictureWidth = 6000, pictureHeight = 4000, screenWidth = 1920, screenHeight = 1080, runs = 7;
  for (int i = 1; i + 1 < argc; i += 2) {
    const bool ok = std::strcmp(argv[i], "--picture") == 0 ? ParseSize(argv[i + 1], pictureWidth, pictureHeight)
                    : std::strcmp(argv[i], "--screen") == 0 ? ParseSize(argv[i + 1], screenWidth, screenHeight)
                    : std::strcmp(argv[i], "--runs") == 0   ? (runs = std::atoi(argv[i + 1])) > 0
                                                            : false;
    if (!ok) {
      std::fprintf(stderr, "usage: photo_bench [--picture WxH] [--screen WxH] [--runs N]\n");
      return 2;
    }
  }
  // Grain like a camera's, so that the file is as large as a photo's (entropy decoding, which
  // no scaling spares, weighs as it does there).
  Bitmap photo = MakeTestPattern(pictureWidth, pictureHeight, 1);
  std::mt19937 random(1);
  for (int y = 0; y < photo.Height(); ++y) {
    std::uint8_t* row = photo.ScanLine(y);
    for (int i = 0; i < 3 * photo.Width(); ++i) {
      row[i] = static_cast<std::uint8_t>(std::clamp(row[i] + static_cast<int>(random() % 48) - 24, 0, 255));
    }
  }
  const std::vector<std::uint8_t> jpeg = EncodeJpeg(photo, 90);
  const TSize fitted = FittedPictureSize({pictureWidth, pictureHeight}, {screenWidth, screenHeight},
                                         TSSFileLocations::kFitShrink);
  std::vector<double> full, place, compose, placeBlur, composeBlur;
  for (int run = 0; run < runs; ++run) {
    full.push_back(Seconds([&] { DecodeJpeg(jpeg); }));
    TJPEGImage picture(jpeg);
    ScreenPlacement placed;
    place.push_back(Seconds([&] {
      placed = PlacePicture(&picture, {screenWidth, screenHeight}, TSSFileLocations::kFitShrink,
                            TSSFileLocations::kFillBlack);
    }));
    compose.push_back(Seconds([&] {
      Bitmap screen(screenWidth, screenHeight);
      TCanvas canvas(screen);
      canvas.Draw(placed.at.X, placed.at.Y, placed.pixels);
    }));
    // --fill blur: the backdrop is made on the worker too; the change draws onto it.
    placeBlur.push_back(Seconds([&] {
      placed = PlacePicture(&picture, {screenWidth, screenHeight}, TSSFileLocations::kFitShrink,
                            TSSFileLocations::kFillBlur);
    }));
    composeBlur.push_back(Seconds([&] {
      Bitmap screen = std::move(placed.backdrop);
      TCanvas canvas(screen);
      canvas.Draw(placed.at.X, placed.at.Y, placed.pixels);
    }));
  }
  std::vector<double> fit(runs);
  for (int run = 0; run < runs; ++run) fit[run] = place[run] + compose[run];
  std::printf("picture %dx%d (%zu bytes of JPEG) shown at %dx%d on %dx%d, median of %d runs\n",
              pictureWidth, pictureHeight, jpeg.size(), fitted.cx, fitted.cy, screenWidth,
              screenHeight, runs);
  std::printf("| step | time (ms) | ratio to full decode |\n|---|---|---|\n");
  std::printf("| full-size decode (baseline) | %.1f | 1.00 |\n", Median(full) * 1000);
  std::printf("| fitted picture change (decode at scale, resample, compose) | %.1f | %.2f |\n",
              Median(fit) * 1000, Median(fit) / Median(full));
  std::printf("| of it on the show's worker while the picture before stands (decode, resample) | "
              "%.1f | %.2f |\n",
              Median(place) * 1000, Median(place) / Median(full));
  std::printf("| of it at the change itself (compose) | %.1f | %.2f |\n", Median(compose) * 1000,
              Median(compose) / Median(full));
  std::printf("| --fill blur: on the worker (decode, resample, backdrop) | %.1f | %.2f |\n",
              Median(placeBlur) * 1000, Median(placeBlur) / Median(full));
  std::printf("| --fill blur: at the change (compose onto the backdrop) | %.1f | %.2f |\n",
              Median(composeBlur) * 1000, Median(composeBlur) / Median(full));
  return 0;
}
