// transition_bench: how long the transition control takes for one frame of each
// style drawn afresh, for a frame of a whole painted transition of each style (a show) and for
// one full-screen paint, as a ratio to a plain copy of one frame's
// bytes measured in the same run at the same size. Every benchmark runs 5 times,
// all of them in a random order, and the table takes the median.
//
//   transition_bench [--quick] [--benchmark_filter=REGEX] [other --benchmark_* flags]

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/random.h"
#include "graphics/bitmap.h"
#include "graphics/graphic.h"
#include "graphics/pixel_convert.h"
#include "transition/styles.h"
#include "transition/transition_view.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/headless.h"

namespace slidesaver {
namespace {

struct FrameSize {
  int width;
  int height;
  std::string Name() const { return std::to_string(width) + "x" + std::to_string(height); }
};
constexpr FrameSize kSizes[] = {{1920, 1080}, {3840, 2160}};

// The largest allowed ratio to the copy baseline, where one is set.
constexpr double kPaintTarget = 2.0;
struct StyleTarget {
  int first;
  int last;
  double maxRatio;
};
constexpr StyleTarget kStyleTargets[] = {
    {0, 0, 3.0},
    // Copy styles: 3x where every piece is an unscaled copy (slides, wipes, splits, boxes),
    // 5x where a piece is stretched, squeezed, zoomed, folded or smeared.
    {1, 2, 5.0},
    {3, 6, 3.0},
    {7, 10, 5.0},
    {11, 12, 3.0},
    {13, 19, 5.0},
    {20, 23, 3.0},
    {24, 27, 5.0},
    {28, 29, 3.0},
    {30, 38, 5.0},
    {39, 46, 3.0},
    {47, 52, 5.0},
    {53, 55, 3.0},
    {56, 57, 5.0},
    // Pixel styles: the cross-fade, and the swings, which work out a source pixel per pixel.
    {118, 118, 3.0},
    {119, 122, 8.0},
    // Region styles: the region built and the frame composed from both pictures.
    {58, 117, 3.0},
    {123, 127, 3.0},
};

double StyleTargetOf(int style) {
  for (const StyleTarget& t : kStyleTargets) {
    if (style >= t.first && style <= t.last) return t.maxRatio;
  }
  return 0;  // none
}

// A deterministic picture: a diagonal gradient with noise; `seed` picks the
// direction and the noise, so the old and the new picture differ everywhere.
Bitmap MakePicture(FrameSize size, std::uint32_t seed) {
  Bitmap b(size.width, size.height);
  std::uint32_t state = seed * 2654435761u + 1;
  for (int y = 0; y < size.height; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < size.width; ++x) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      const int gx = (seed % 2 == 0 ? x : size.width - 1 - x) * 255 / size.width;
      const int gy = y * 255 / size.height;
      const int noise = static_cast<int>(state & 31);
      row[3 * x] = static_cast<std::uint8_t>((gx + noise) & 255);
      row[3 * x + 1] = static_cast<std::uint8_t>((gy + noise) & 255);
      row[3 * x + 2] = static_cast<std::uint8_t>((gx + gy + seed * 64) & 255);
    }
  }
  return b;
}

// The old (first) or new picture of a size, generated once per run.
const Bitmap& Picture(FrameSize size, bool old) {
  static std::map<std::pair<int, bool>, Bitmap> cache;
  auto [it, added] = cache.try_emplace({size.width, old});
  if (added) it->second = MakePicture(size, old ? 1 : 2);
  return it->second;
}

void SetPicture(TTransitionView& view, const Bitmap& pixels) {
  TPicture picture;
  picture.SetGraphic(std::make_unique<TBitmapGraphic>(pixels));
  view.SetPicture(&picture);
}

// Windows that keep what they are shown in 32-bit pixels, as the X server's window surfaces do:
// presenting converts every rectangle into them, as the player's own window does.
class SurfaceWindow : public WindowHandle {
 public:
  void SetBounds(const TRect&) override {}
  void Show() override {}
  void Hide() override {}
  void Present(const Bitmap& surface, const std::vector<TRect>& rects) override {
    if (width_ != surface.Width() || height_ != surface.Height()) {
      width_ = surface.Width();
      height_ = surface.Height();
      pixels_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
    }
    for (const TRect& r : rects) {
      for (int y = r.Top; y < r.Bottom; ++y) {
        BgrToBgrx(surface.ScanLine(y) + 3 * r.Left,
                  pixels_.data() + (static_cast<std::size_t>(y) * width_ + r.Left) * 4, r.Width());
      }
    }
    benchmark::DoNotOptimize(pixels_.data());
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
};

class SurfaceBackend : public HeadlessBackend {
 public:
  std::unique_ptr<WindowHandle> CreateWindowHandle(TForm&) override {
    return std::make_unique<SurfaceWindow>();
  }
};

// A shown form of the picture's size holding one auto-sized transition control
// that shows the old picture, as if an earlier transition had brought it in.
class Stage {
 public:
  explicit Stage(FrameSize size) {
    form_.SetClientSize(size.width, size.height);
    form_.Show();
    view_.SetThreaded(false);
    view_.SetStyle(0);
    SetPicture(view_, Picture(size, true));
    view_.StartTransition();  // style 0 without a handler: one frame showing the picture
  }
  TForm& Form() { return form_; }
  TTransitionView& View() { return view_; }

 private:
  TApplication app_{std::make_unique<SurfaceBackend>()};
  TForm form_;
  TTransitionView view_{&form_};
};

void CopyBaseline(benchmark::State& state, FrameSize size) {
  const Bitmap& picture = Picture(size, true);
  const std::size_t bytes = picture.Stride() * static_cast<std::size_t>(picture.Height());
  std::vector<std::uint8_t> src(picture.ScanLine(0), picture.ScanLine(0) + bytes);
  std::vector<std::uint8_t> dst(bytes, 0);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
}

// One frame of a manual transition. The form is shown only for the first
// transition, so that the old picture is what the control shows, then hidden:
// no paint happens inside the measured frames.
void Frame(benchmark::State& state, FrameSize size, int style) {
  try {
    Stage stage(size);
    stage.Form().Hide();
    TTransitionView& view = stage.View();
    SetPicture(view, Picture(size, false));
    view.SetStyle(static_cast<TShowStyle>(style));
    view.SetManual(true);
    std::int64_t frames = 0;
    view.OnAfterNewFrame = [&frames](void*, Bitmap&, Bitmap&) { ++frames; };
    RandSeed(1);
    view.StartTransition();
    for (auto _ : state) {
      // Style 0 moves the progress to 100 itself; the others stay where they are put.
      view.SetProgress(view.Progress() == 50 ? 49 : 50);
    }
    if (frames != state.iterations() || !view.InTransition()) {
      state.SkipWithError("not every iteration drew a frame of a running transition");
    }
    view.StopTransition();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

// A whole transition the way the saver runs it: the frames from progress 0 to 100 in steps of 4,
// without handlers, each painted into the window, between the two pictures by turns.
constexpr int kShowStep = 4;
constexpr int kShowFrames = 100 / kShowStep + 1;

void Show(benchmark::State& state, FrameSize size, int style) {
  try {
    Stage stage(size);
    TTransitionView& view = stage.View();
    view.SetStyle(static_cast<TShowStyle>(style));
    view.SetManual(true);
    RandSeed(1);
    bool toOld = false;
    for (auto _ : state) {
      SetPicture(view, Picture(size, toOld));
      toOld = !toOld;
      view.StartTransition();  // the frame at 0
      for (int p = kShowStep; p <= 100; p += kShowStep) {
        view.SetProgress(p);
        stage.Form().PaintInvalid();
      }
      view.StopTransition();
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

// A whole frame from the control to the window's 32-bit pixels: the control's paint, the form's
// composition and the presentation.
void Paint(benchmark::State& state, FrameSize size) {
  try {
    Stage stage(size);
    TTransitionView& view = stage.View();
    for (auto _ : state) {
      view.Invalidate();
      stage.Form().PaintInvalid();
    }
    if (stage.Form().Surface() != Picture(size, true)) {
      state.SkipWithError("the form does not show the picture");
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

struct Entry {
  std::string kind;  // "copy", "paint", "frame/style:N" or "show/style:N"
  FrameSize size;
  double target;  // largest allowed ratio; 0 for none
  int framesPerIteration = 1;
  std::string Name() const { return kind + "/" + size.Name(); }
};

std::vector<Entry> RegisterAll() {
  std::vector<Entry> entries;
  const auto add = [&](std::string kind, FrameSize size, double target, auto fn, int frames = 1) {
    entries.push_back({std::move(kind), size, target, frames});
    benchmark::RegisterBenchmark(entries.back().Name().c_str(), fn)->Unit(benchmark::kMillisecond);
  };
  for (FrameSize s : kSizes) add("copy", s, 0, [s](benchmark::State& st) { CopyBaseline(st, s); });
  for (FrameSize s : kSizes) add("paint", s, kPaintTarget, [s](benchmark::State& st) { Paint(st, s); });
  for (int style = 0; style < kStyleCount; ++style) {
    for (FrameSize s : kSizes) {
      add("frame/style:" + std::to_string(style), s, StyleTargetOf(style),
          [s, style](benchmark::State& st) { Frame(st, s, style); });
    }
  }
  for (int style = 1; style < kStyleCount; ++style) {
    for (FrameSize s : kSizes) {
      add("show/style:" + std::to_string(style), s, 0,
          [s, style](benchmark::State& st) { Show(st, s, style); }, kShowFrames);
    }
  }
  return entries;
}

// The console output, plus the CPU time per iteration of every run, in seconds
// (the median when a benchmark is repeated).
class TableReporter : public benchmark::ConsoleReporter {
 public:
  TableReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0) continue;
      runs_[run.benchmark_name()].push_back(run.cpu_accumulated_time /
                                            static_cast<double>(run.iterations));
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::optional<double> Seconds(const std::string& name) const {
    auto it = runs_.find(name);
    if (it == runs_.end()) return std::nullopt;
    std::vector<double> times = it->second;
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    return n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  }

 private:
  std::map<std::string, std::vector<double>> runs_;
};

std::string Format(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void PrintTable(const std::vector<Entry>& entries, const TableReporter& reporter) {
  std::printf("\n| benchmark | size | time per iteration (ms) | ratio to copy baseline | target |\n");
  std::printf("| --- | --- | --- | --- | --- |\n");
  for (const Entry& e : entries) {
    std::optional<double> seconds = reporter.Seconds(e.Name());
    if (!seconds) continue;
    *seconds /= e.framesPerIteration;
    const std::optional<double> baseline = reporter.Seconds(Entry{"copy", e.size, 0}.Name());
    std::string ratio = "n/a";
    std::string target = e.target > 0 ? Format("<= %g", e.target) : "";
    if (baseline && *baseline > 0) {
      const double r = *seconds / *baseline;
      ratio = Format("%.2f", r);
      if (e.target > 0) target += r <= e.target ? " (met)" : " (MISSED)";
    }
    std::printf("| %s | %s | %.3f | %s | %s |\n", e.kind.c_str(), e.size.Name().c_str(),
                *seconds * 1000, ratio.c_str(), target.c_str());
  }
  std::printf(
      "\nTimes are CPU time per iteration (the median of the repetitions), per frame for the "
      "shows; the ratio divides by the copy of the same size.\n");
}

int Main(int argc, char** argv) {
  // Our default minimum time and repetitions go first, so those given on the
  // command line win.
  const bool quick = std::any_of(argv + 1, argv + argc,
                                 [](const char* a) { return std::strcmp(a, "--quick") == 0; });
  std::string minTime = std::string("--benchmark_min_time=") + (quick ? "0.05" : "0.2");
  std::string repetitions = "--benchmark_repetitions=5";
  // The repetitions of all benchmarks in a random order: a machine that gets busier during the
  // run slows the baseline as much as the frames.
  std::string interleaving = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args{argv[0], minTime.data(), repetitions.data(), interleaving.data()};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") != 0) args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  const std::vector<Entry> entries = RegisterAll();
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::fflush(stdout);
  PrintTable(entries, reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace
}  // namespace slidesaver

int main(int argc, char** argv) { return slidesaver::Main(argc, argv); }
