// slidesaver-render: renders transition frames offline through the real
// transition control on the headless backend.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/random.h"
#include "graphics/canvas.h"
#include "graphics/graphic.h"
#include "graphics/resample.h"
#include "graphics/text.h"
#include "tools/commands.h"
#include "tools/imageio.h"
#include "tools/webp_animation.h"
#include "transition/styles.h"
#include "transition/transition_view.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/headless.h"

namespace slidesaver {
namespace {

// The options of one command: those followed by a value, and switches.
struct OptionNames {
  std::vector<std::string> valued;
  std::vector<std::string> switches;

  bool Valued(const std::string& arg) const {
    return std::find(valued.begin(), valued.end(), arg) != valued.end();
  }
  bool Switch(const std::string& arg) const {
    return std::find(switches.begin(), switches.end(), arg) != switches.end();
  }
};

struct Options {
  std::map<std::string, std::string> values;
  bool reverse = false;

  bool Has(const std::string& name) const { return values.count(name) != 0; }
  const std::string& Required(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end()) throw Error("missing " + name);
    return it->second;
  }
};

void RenderFrame(const Options& o);
void RenderTransition(const Options& o);
void RenderGallery(const Options& o);

// One command of the tool: its usage (the synopsis after "slidesaver-render ", continuation
// lines indented to line up under "usage: ", then what it does), its options and its work.
struct Command {
  std::string name;
  std::string synopsis;
  std::string notes;
  OptionNames options;
  void (*run)(const Options&);
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"frame",
       "frame --old OLD --new NEW --style N --progress P [--step S]\n"
       "           [--seed K] --out OUT\n",
       "frame writes the frame of style N (0 to 127) at progress P (0 to 100) to OUT (.png, .ppm).\n",
       {{"--old", "--new", "--style", "--progress", "--step", "--seed", "--out"}, {}},
       RenderFrame},
      {"transition",
       "transition --old OLD --new NEW --style N [--step S] [--reverse]\n"
       "           [--seed K] --out-dir DIR\n",
       "transition writes every frame of one transition as DIR/frame-000.png, frame-001.png, ...\n",
       {{"--old", "--new", "--style", "--step", "--seed", "--out-dir"}, {"--reverse"}},
       RenderTransition},
      {"gallery",
       "gallery --old OLD --new NEW --out-dir DIR [--size WxH] [--seed K]\n",
       "gallery writes every style as DIR/style-NNN.webp and their middle frames as\n"
       "DIR/contact-sheet.png, at --size (default 240x135) and --seed (default 1).\n",
       {{"--old", "--new", "--out-dir", "--size", "--seed"}, {}},
       RenderGallery},
  };
  return commands;
}

constexpr const char* kPictureNote =
    "OLD and NEW are PNG, binary PPM or JPEG files; OLD is stretched to the size of NEW.\n";
constexpr const char* kOutDirNote =
    "--out-dir is made when it is missing, with its missing parent folders.\n";

// The usage of one command, or of all when `only` is null.
std::string Usage(const Command* only) {
  std::string text = CommandsUsage("slidesaver-render", Commands(), only);
  text += kPictureNote;
  if (only == nullptr || only->options.Valued("--out-dir")) text += kOutDirNote;
  return text;
}

Options ParseOptions(const Command& command, const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (command.options.Switch(arg)) {
      o.reverse = true;  // the only switch
    } else if (command.options.Valued(arg)) {
      if (i + 1 >= args.size()) throw Error(arg + " needs a value");
      o.values[arg] = args[++i];
    } else {
      for (const Command& other : Commands()) {
        if (other.options.Valued(arg) || other.options.Switch(arg)) {
          throw Error(arg + " is not an option of " + command.name);
        }
      }
      throw Error("unexpected argument \"" + arg + "\"");
    }
  }
  return o;
}

// A whole decimal number within [lo, hi].
long long NumberArgument(const std::string& option, const std::string& text, long long lo,
                         long long hi) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi ||
      !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-')) {
    throw Error(option + " must be a whole number from " + std::to_string(lo) + " to " +
                std::to_string(hi) + ", not \"" + text + "\"");
  }
  return v;
}

void SetPicture(TTransitionView& view, Bitmap pixels) {
  TPicture picture;
  picture.SetGraphic(std::make_unique<TBitmapGraphic>(std::move(pixels)));
  view.SetPicture(&picture);
}

std::uint64_t SeedArgument(const std::string& text) {
  return static_cast<std::uint64_t>(NumberArgument("--seed", text, 0, 9223372036854775807LL));
}

void SeedRandom(const Options& o) {
  if (o.Has("--seed")) {
    RandSeed(SeedArgument(o.Required("--seed")));
  } else {
    Randomize();
  }
}

struct Inputs {
  Bitmap oldImage;
  Bitmap newImage;
  int style = 0;
  int step = 4;
};

Inputs ReadInputs(const Options& o) {
  Inputs in;
  in.style = static_cast<int>(NumberArgument("--style", o.Required("--style"), 0, 127));
  if (o.Has("--step")) in.step = static_cast<int>(NumberArgument("--step", o.values.at("--step"), 0, 65535));
  in.oldImage = ReadImage(o.Required("--old"));
  in.newImage = ReadImage(o.Required("--new"));
  if (in.newImage.Empty()) throw Error("The new picture " + o.Required("--new") + " has no pixels");
  return in;
}

// A form holding one transition control that shows OLD (stretched to NEW's
// size) as if an earlier transition had brought it in, with NEW, the style
// and the step set for the next transition.
class Stage {
 public:
  explicit Stage(Inputs in) {
    Bitmap old(in.newImage.Width(), in.newImage.Height());
    StretchCopy(old, TRect{0, 0, old.Width(), old.Height()}, in.oldImage,
                TRect{0, 0, in.oldImage.Width(), in.oldImage.Height()});
    form_.SetClientSize(old.Width(), old.Height());
    form_.Show();
    view_.SetThreaded(false);
    view_.SetStyle(0);
    SetPicture(view_, std::move(old));
    view_.StartTransition();  // style 0 without a handler: one frame showing OLD
    SetPicture(view_, std::move(in.newImage));
    view_.SetStyle(static_cast<TShowStyle>(in.style));
    view_.SetStep(static_cast<std::uint16_t>(in.step));
  }
  TTransitionView& View() { return view_; }

 private:
  TApplication app_{std::make_unique<HeadlessBackend>()};
  TForm form_;
  TTransitionView view_{&form_};
};

// The frame `frame` writes: a manual transition moved to `progress`.
Bitmap FrameAt(Stage& stage, int progress) {
  TTransitionView& view = stage.View();
  // Manual transitions start without drawing at the start value, so the
  // frame for P is drawn by moving there; P = 0 is reached going back from 100.
  view.SetReverse(progress == 0);
  view.SetManual(true);
  view.StartTransition();
  view.SetProgress(progress);
  Bitmap frame = view.ScreenImage();
  view.StopTransition();
  return frame;
}

// Runs one automatic transition, handing every frame it draws to `onFrame` in order.
void RunTransition(Stage& stage, bool reverse, const std::function<void(const Bitmap&)>& onFrame) {
  TTransitionView& view = stage.View();
  // Progress 0, as in a control's first transition: a forward transition
  // draws no frame at its start value, a reversed one starts at 100.
  view.SetReverse(false);
  view.SetManual(true);
  view.SetManual(false);
  view.SetReverse(reverse);
  view.OnAfterNewFrame = [onFrame](void*, Bitmap&, Bitmap& screen) { onFrame(screen); };
  view.StartTransition();
}

// Makes the folder and its missing parents.
void MakeFolder(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error || !std::filesystem::is_directory(dir, error)) {
    throw Error("Cannot create " + dir + ": " +
                (error ? error.message() : std::string("it is not a folder")));
  }
}

void RenderFrame(const Options& o) {
  Inputs in = ReadInputs(o);
  const int progress = static_cast<int>(NumberArgument("--progress", o.Required("--progress"), 0, 100));
  const std::string out = o.Required("--out");
  SeedRandom(o);
  Stage stage(std::move(in));
  WriteImage(out, FrameAt(stage, progress));
}

void RenderTransition(const Options& o) {
  Inputs in = ReadInputs(o);
  const std::string dir = o.Required("--out-dir");
  MakeFolder(dir);
  SeedRandom(o);
  Stage stage(std::move(in));
  int index = 0;
  RunTransition(stage, o.reverse, [&](const Bitmap& screen) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%03d.png", index++);
    WriteImage(dir + name, screen);
  });
}

// ---- gallery: every style as an animation, and a contact sheet of their middle frames ----

constexpr int kGalleryStep = 4;          // the control's default
constexpr int kLastFrameMs = 1000;       // how long an animation rests on the new picture
constexpr float kAnimationQuality = 50;  // 128 animations of 240 x 135 in about 3 MB
constexpr int kSheetColumns = 8;
constexpr int kSheetGap = 4;  // between the cells and around them
constexpr std::uint32_t kSheetBackground = 0x202020;

// "WxH", both sides whole numbers from 1 to 4096.
TSize SizeArgument(const std::string& text) {
  const std::string message =
      "--size must be WIDTHxHEIGHT with sides from 1 to 4096, not \"" + text + "\"";
  const auto x = text.find('x');
  if (x == std::string::npos) throw Error(message);
  try {
    return TSize{static_cast<std::int32_t>(NumberArgument("--size", text.substr(0, x), 1, 4096)),
                 static_cast<std::int32_t>(NumberArgument("--size", text.substr(x + 1), 1, 4096))};
  } catch (const Error&) {
    throw Error(message);
  }
}

// The frames of all styles in a grid, kSheetColumns to a row, each with its
// style number on a band below it.
class ContactSheet {
 public:
  ContactSheet(int cellWidth, int cellHeight) : cellWidth_(cellWidth), cellHeight_(cellHeight) {
    font_.Name = "DejaVu Sans";
    font_.Size = 12;
    font_.Bold = true;
    font_.Color = clWhite;
    band_ = MeasureText(font_, "127").cy + 2;
    const int rows = (kStyleCount + kSheetColumns - 1) / kSheetColumns;
    sheet_ = Bitmap(kSheetColumns * (cellWidth_ + kSheetGap) + kSheetGap,
                    rows * (cellHeight_ + band_ + kSheetGap) + kSheetGap);
    sheet_.Fill(kSheetBackground);
  }

  void Place(int style, const Bitmap& frame) {
    const int x = kSheetGap + (style % kSheetColumns) * (cellWidth_ + kSheetGap);
    const int y = kSheetGap + (style / kSheetColumns) * (cellHeight_ + band_ + kSheetGap);
    TCanvas(sheet_).Draw(x, y, frame);
    const std::string label = std::to_string(style);
    const int bandTop = y + cellHeight_;
    const Region band = Region::FromRect(TRect{x, bandTop, x + cellWidth_, bandTop + band_});
    DrawText(sheet_, x + (cellWidth_ - MeasureText(font_, label).cx) / 2, bandTop + 1, font_,
             label, &band);
  }

  const Bitmap& Image() const { return sheet_; }

 private:
  int cellWidth_;
  int cellHeight_;
  int band_ = 0;
  TTextFont font_;
  Bitmap sheet_;
};

void RenderGallery(const Options& o) {
  const std::string dir = o.Required("--out-dir");
  const TSize size = o.Has("--size") ? SizeArgument(o.values.at("--size")) : TSize{240, 135};
  const std::uint64_t seed = o.Has("--seed") ? SeedArgument(o.values.at("--seed")) : 1;
  const Bitmap oldImage = ResampleBitmap(ReadImage(o.Required("--old")), size.cx, size.cy);
  const Bitmap newImage = ResampleBitmap(ReadImage(o.Required("--new")), size.cx, size.cy);
  if (newImage.Empty()) throw Error("The new picture " + o.Required("--new") + " has no pixels");
  MakeFolder(dir);

  // Each frame and each animation starts from the same seed, so that it is
  // what `frame` and `transition` give for that style with --seed.
  const auto stage = [&](int style) {
    RandSeed(seed);
    return std::make_unique<Stage>(Inputs{oldImage, newImage, style, kGalleryStep});
  };
  ContactSheet sheet(size.cx, size.cy);
  for (int style = 0; style < kStyleCount; ++style) {
    sheet.Place(style, FrameAt(*stage(style), 50));

    const std::unique_ptr<Stage> animation = stage(style);
    const int delay = animation->View().Delay();
    std::vector<AnimationFrame> frames;
    RunTransition(*animation, false, [&](const Bitmap& screen) {
      frames.push_back(AnimationFrame{screen, delay});
    });
    if (frames.empty()) throw Error("Style " + std::to_string(style) + " drew no frame");
    frames.back().durationMs = kLastFrameMs;
    char name[32];
    std::snprintf(name, sizeof name, "/style-%03d.webp", style);
    WriteBytes(dir + name, EncodeWebpAnimation(frames, kAnimationQuality));
  }
  WriteImage(dir + "/contact-sheet.png", sheet.Image());
}

int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const Command* command = NamedCommand(Commands(), args);
  if (std::any_of(args.begin(), args.end(), IsHelp)) {
    std::cout << Usage(command);
    return 0;
  }
  if (command == nullptr) {
    std::cerr << Usage(nullptr);
    return 2;
  }
  try {
    command->run(ParseOptions(*command, {args.begin() + 1, args.end()}));
  } catch (const std::exception& e) {
    std::string text = e.what();
    if (const auto nl = text.find('\n'); nl != std::string::npos) text.resize(nl);
    std::cerr << "slidesaver-render: " << text << "\n";
    return 2;
  }
  return 0;
}

}  // namespace
}  // namespace slidesaver

int main(int argc, char** argv) { return slidesaver::Main(argc, argv); }
