// Drives the real slidesaver-render binary: the gallery of every style against
// what `frame` and `transition` give for the same pictures and seed.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstdio>
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

constexpr int kW = 48, kH = 27, kColumns = 8, kRows = 16;  // pictures made at the gallery's size

std::string Numbered(const char* format, std::size_t n) {
  char name[64];
  std::snprintf(name, sizeof name, format, static_cast<int>(n));
  return name;
}

// Smooth ramps far apart, blue and orange: little for the lossy encoder to
// lose, much to see where a frame shows the wrong picture.
Bitmap Ramp(bool orange) {
  Bitmap b(kW, kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      b.SetPixel(
          x, y,
          orange ? (40 + x) << 16 | (170 - y) << 8 | 200 : 150 << 16 | (40 + y) << 8 | (30 + x));
    }
  }
  return b;
}

Bitmap Crop(const Bitmap& b, int x, int y, int w, int h) {
  Bitmap out(w, h);
  for (int row = 0; row < h; ++row)
    std::copy_n(b.ScanLine(y + row) + 3 * x, 3 * w, out.ScanLine(row));
  return out;
}

double MeanDifference(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (std::size_t x = 0; x < a.Stride(); ++x)
      sum += std::abs(a.ScanLine(y)[x] - b.ScanLine(y)[x]);
  }
  return sum / static_cast<double>(a.Stride() * a.Height());
}

// The animation's frames, decoded, each with the time at which it ends.
std::vector<std::pair<Bitmap, int>> DecodeAnimation(const std::string& path) {
  const std::string bytes = ScratchFolder::Read(path);
  const WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_BGRA;
  const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(
      WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
  WebPAnimInfo info;
  std::vector<std::pair<Bitmap, int>> frames;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)) return frames;
  EXPECT_EQ(info.loop_count, 0u);  // for ever
  std::uint8_t* px;
  for (int end; WebPAnimDecoderGetNext(decoder.get(), &px, &end);) {
    Bitmap frame(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height));
    for (int i = 0; i < frame.Width() * frame.Height(); ++i) {
      frame.SetPixel(i % frame.Width(), i / frame.Width(),
                     px[4 * i] << 16 | px[4 * i + 1] << 8 | px[4 * i + 2]);
    }
    frames.emplace_back(std::move(frame), end);
  }
  return frames;
}

class RenderGallery : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScratchFolder>("render_gallery_test");
    WriteImage(Path("old.png"), Ramp(false));
    WriteImage(Path("new.png"), Ramp(true));
    EXPECT_EQ(Render("gallery --size 48x27 --out-dir " + Path("a")), "");  // silent on success
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static std::string Path(const std::string& name) { return dir_->Path(name); }
  // Runs the tool on the two pictures with seed 7; its output, or "exit N: " and its output.
  static std::string Render(const std::string& args) {
    const std::string command = std::string(SLIDESAVER_BUILD_DIR) + "/tools/slidesaver-render " +
                                args + " --old " + Path("old.png") + " --new " + Path("new.png") +
                                " --seed 7 2>&1";
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    for (int c; (c = std::fgetc(p)) != EOF;) out += static_cast<char>(c);
    const int status = ::pclose(p);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0
               ? out
               : "exit " + std::to_string(WEXITSTATUS(status)) + ": " + out;
  }

  static inline std::unique_ptr<ScratchFolder> dir_;
};

TEST_F(RenderGallery, ContactSheetShowsEveryStyleHalfWayLabelledWithItsNumber) {
  const Bitmap sheet = ReadImage(Path("a/contact-sheet.png"));
  // Cells of kW x (kH + band) with a gap between them and around them.
  const int gap = (sheet.Width() - kColumns * kW) / (kColumns + 1);
  const int band = (sheet.Height() - gap) / kRows - gap - kH;
  ASSERT_EQ(sheet.Width(), kColumns * (kW + gap) + gap);
  ASSERT_EQ(sheet.Height(), kRows * (kH + band + gap) + gap);
  ASSERT_GT(band, 0);
  const auto x = [&](int style) { return gap + style % kColumns * (kW + gap); };
  const auto y = [&](int style) { return gap + style / kColumns * (kH + band + gap); };

  Bitmap unlabelled(kW, band);
  unlabelled.Fill(sheet.Pixel(0, 0));  // the sheet's background
  std::set<std::string> labels;
  for (int style = 0; style < 128; ++style) {
    const Bitmap label = Crop(sheet, x(style), y(style) + kH, kW, band);
    EXPECT_NE(label, unlabelled) << style;
    labels.emplace(label.ScanLine(0), label.ScanLine(0) + label.Stride() * band);
  }
  EXPECT_EQ(labels.size(), 128u);  // no two alike, as no two numbers are

  for (const int style : {0, 9, 60, 118, 119, 127}) {
    ASSERT_EQ(
        Render("frame --style " + std::to_string(style) + " --progress 50 --out " + Path("f.png")),
        "");
    EXPECT_EQ(Crop(sheet, x(style), y(style), kW, kH), ReadImage(Path("f.png"))) << style;
  }
}

TEST_F(RenderGallery, AnimationShowsEveryFrameOfTheTransitionInTime) {
  // Every frame of a stretch and of ragged bars changes clearly. The encoder
  // merges a frame into the one before when no pixel moved further than its
  // lossy tolerance, as some frames of a zoom over smooth colours and of the
  // cross-fade do; the merged frame then stands for as long as both.
  for (const auto& [style, everyFrameKept] :
       {std::pair{1, true}, {65, true}, {7, false}, {118, false}}) {
    SCOPED_TRACE(style);
    const std::string out = Path("t" + std::to_string(style));
    ASSERT_EQ(Render("transition --style " + std::to_string(style) + " --out-dir " + out), "");
    std::vector<Bitmap> truth;
    while (fs::exists(out + Numbered("/frame-%03d.png", truth.size()))) {
      truth.push_back(ReadImage(out + Numbered("/frame-%03d.png", truth.size())));
    }
    const auto frames = DecodeAnimation(Path(Numbered("a/style-%03d.webp", style)));
    const int count = static_cast<int>(truth.size());
    ASSERT_FALSE(frames.empty());
    if (everyFrameKept) {
      EXPECT_EQ(static_cast<int>(frames.size()), count);
    }
    // 40 ms for each frame, a second more for the last one.
    EXPECT_EQ(frames.back().second, 40 * (count - 1) + 1000);
    int start = 0;
    for (const auto& [picture, end] : frames) {
      if (everyFrameKept && end < frames.back().second) {
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
  ASSERT_EQ(Render("gallery --size 48x27 --out-dir " + Path("b")), "");
  int files = 0;
  for (const auto& entry : fs::directory_iterator(Path("a"))) {
    ++files;
    EXPECT_EQ(ScratchFolder::Read(entry.path().string()),
              ScratchFolder::Read(Path("b/" + entry.path().filename().string())));
  }
  EXPECT_EQ(files, 129);
}

TEST_F(RenderGallery, RefusesBadInputWithOneLine) {
  for (const char* args : {"--size 48", "--size 0x27", "--style 3"}) {
    const std::string out = Render("gallery --out-dir " + Path("c") + " " + args);
    EXPECT_TRUE(out.starts_with("exit 2: slidesaver-render: ") &&
                std::count(out.begin(), out.end(), '\n') == 1)
        << out;
  }
}

}  // namespace
}  // namespace slidesaver
