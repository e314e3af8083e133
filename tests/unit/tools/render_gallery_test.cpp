// Drives the real slidesaver-render binary: the gallery of every style against
// what `frame` and `transition` give for the same pictures and seed.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <webp/demux.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "tests/support/scratch_folder.h"
#include "tools/imageio.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;

const std::string kRender = std::string(SLIDESAVER_BUILD_DIR) + "/tools/slidesaver-render";
constexpr int kW = 48, kH = 27;  // the pictures are made at the gallery's size
constexpr int kColumns = 8, kRows = 16;

struct Result {
  int status;
  std::string out, err;
};

// Smooth colour ramps far apart from each other, blue and orange: little for
// the lossy encoder to lose, much to see where a frame shows the wrong picture.
Bitmap Ramp(int which) {
  Bitmap b(kW, kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      b.SetPixel(x, y,
                 which == 0 ? 150 << 16 | (40 + y) << 8 | (30 + x)
                            : (40 + x) << 16 | (170 - y) << 8 | 200);
    }
  }
  return b;
}

class RenderGallery : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScratchFolder>("render_gallery_test");
    WriteImage(Path("old.png"), Ramp(0));
    WriteImage(Path("new.png"), Ramp(1));
    const Result r = Render("gallery " + Pictures() + " --size 48x27 --out-dir " + Path("a"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static std::string Path(const std::string& name) { return dir_->Path(name); }
  static std::string Pictures() {
    return "--old " + Path("old.png") + " --new " + Path("new.png") + " --seed 7";
  }
  static Result Render(const std::string& args) {
    Result r{-1, {}, {}};
    FILE* p = ::popen((kRender + " " + args + " 2>" + Path("stderr.txt")).c_str(), "r");
    std::array<char, 4096> buf;
    for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;)
      r.out.append(buf.data(), n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ScratchFolder::Read(Path("stderr.txt"));
    return r;
  }

  static inline std::unique_ptr<ScratchFolder> dir_;
};

std::string Numbered(const char* format, std::size_t n) {
  char name[64];
  std::snprintf(name, sizeof name, format, static_cast<int>(n));
  return name;
}

Bitmap Crop(const Bitmap& b, int x, int y, int w, int h) {
  Bitmap out(w, h);
  for (int row = 0; row < h; ++row)
    std::copy_n(b.ScanLine(y + row) + 3 * x, 3 * w, out.ScanLine(row));
  return out;
}

TEST_F(RenderGallery, ContactSheetShowsEveryStyleAtHalfWayLabelledWithItsNumber) {
  const Bitmap sheet = ReadImage(Path("a/contact-sheet.png"));
  // Cells of kW x (kH + band) with a gap between them and around them.
  const int gap = (sheet.Width() - kColumns * kW) / (kColumns + 1);
  ASSERT_EQ(sheet.Width(), kColumns * (kW + gap) + gap);
  const int band = (sheet.Height() - gap) / kRows - gap - kH;
  ASSERT_EQ(sheet.Height(), kRows * (kH + band + gap) + gap);
  ASSERT_GT(band, 0);
  const auto cell = [&](int style) {
    return std::pair{gap + style % kColumns * (kW + gap),
                     gap + style / kColumns * (kH + band + gap)};
  };

  Bitmap unlabelled(kW, band);
  unlabelled.Fill(sheet.Pixel(0, 0));  // the sheet's background
  std::set<std::string> labels;
  for (int style = 0; style < 128; ++style) {
    const auto [x, y] = cell(style);
    const Bitmap label = Crop(sheet, x, y + kH, kW, band);
    EXPECT_NE(label, unlabelled) << style;
    labels.insert(std::string(label.ScanLine(0), label.ScanLine(0) + label.Stride() * band));
  }
  EXPECT_EQ(labels.size(), 128u);  // no two numbers alike

  for (const int style : {0, 9, 60, 118, 119, 127}) {
    const Result r = Render("frame " + Pictures() + " --style " + std::to_string(style) +
                            " --progress 50 --out " + Path("half.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto [x, y] = cell(style);
    EXPECT_EQ(Crop(sheet, x, y, kW, kH), ReadImage(Path("half.png"))) << style;
  }
}

// The animation's frames, decoded: each with the time at which it ends.
std::vector<std::pair<Bitmap, int>> DecodeAnimation(const std::string& path) {
  const std::string bytes = ScratchFolder::Read(path);
  const WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_BGRA;
  const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(
      WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
  std::vector<std::pair<Bitmap, int>> frames;
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)) return frames;
  EXPECT_EQ(info.loop_count, 0u);  // for ever
  std::uint8_t* pixels;
  int end;
  while (WebPAnimDecoderGetNext(decoder.get(), &pixels, &end)) {
    Bitmap frame(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height));
    for (int i = 0; i < frame.Width() * frame.Height(); ++i) {
      frame.SetPixel(i % frame.Width(), i / frame.Width(),
                     pixels[4 * i] << 16 | pixels[4 * i + 1] << 8 | pixels[4 * i + 2]);
    }
    frames.emplace_back(std::move(frame), end);
  }
  return frames;
}

double MeanDifference(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (std::size_t x = 0; x < a.Stride(); ++x)
      sum += std::abs(a.ScanLine(y)[x] - b.ScanLine(y)[x]);
  }
  return sum / (a.Stride() * a.Height());
}

TEST_F(RenderGallery, AnimationShowsEveryFrameOfTheTransitionInTime) {
  struct Case {
    int style;
    bool everyFrameKept;
  };
  // Every frame of a stretch and of ragged bars changes clearly. The encoder
  // merges a frame into the one before when no pixel moved further than its
  // lossy tolerance, as some frames of a zoom over smooth colours and of the
  // cross-fade do; the merged frame stands for as long as both.
  for (const Case c : {Case{1, true}, Case{65, true}, Case{7, false}, Case{118, false}}) {
    SCOPED_TRACE(c.style);
    const std::string out = Path("t" + std::to_string(c.style));
    ASSERT_EQ(Render("transition " + Pictures() + " --style " + std::to_string(c.style) +
                     " --out-dir " + out)
                  .status,
              0);
    std::vector<Bitmap> truth;
    while (fs::exists(out + Numbered("/frame-%03d.png", truth.size()))) {
      truth.push_back(ReadImage(out + Numbered("/frame-%03d.png", truth.size())));
    }
    const int count = static_cast<int>(truth.size());
    const auto frames = DecodeAnimation(Path(Numbered("a/style-%03d.webp", c.style)));
    ASSERT_FALSE(frames.empty());
    if (c.everyFrameKept) {
      EXPECT_EQ(static_cast<int>(frames.size()), count);
    }
    // 40 ms for each frame of the transition, a second more for the last one.
    EXPECT_EQ(frames.back().second, 40 * (count - 1) + 1000);
    int start = 0;
    for (const auto& [picture, end] : frames) {
      if (c.everyFrameKept && end < frames.back().second) {
        EXPECT_EQ(end, start + 40);
      }
      for (int k = start / 40; k < std::min(end / 40, count); ++k) {
        EXPECT_LT(MeanDifference(picture, truth[k]), 9.0) << "frame " << k;
      }
      start = end;
    }
  }
}

TEST_F(RenderGallery, SameInputsGiveTheSameFiles) {
  ASSERT_EQ(Render("gallery " + Pictures() + " --size 48x27 --out-dir " + Path("b")).status, 0);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(Path("a"))) {
    ++files;
    EXPECT_EQ(ScratchFolder::Read(entry.path().string()),
              ScratchFolder::Read(Path("b/") + entry.path().filename().string()))
        << entry.path().filename();
  }
  EXPECT_EQ(files, 129);
}

TEST_F(RenderGallery, RefusesBadInputWithOneLine) {
  for (const std::string& args :
       {"--size 48 --out-dir " + Path("c"), "--size 0x27 --out-dir " + Path("c"),
        "--style 3 --out-dir " + Path("c"), std::string("--size 48x27")}) {
    const Result r = Render("gallery " + Pictures() + " " + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_FALSE(fs::exists(Path("c")));
}

}  // namespace
}  // namespace slidesaver
