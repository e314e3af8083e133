// slidesaver-render: renders transition frames offline through the real
// transition control on the headless backend.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "platform/app.h"
#include "platform/canvas.h"
#include "platform/controls.h"
#include "platform/error.h"
#include "platform/graphic.h"
#include "platform/headless.h"
#include "platform/random.h"
#include "tools/imageio.h"
#include "transition/transition_view.h"

namespace slidesaver {
namespace {

constexpr const char* kUsage =
    "usage: slidesaver-render frame --old OLD --new NEW --style N --progress P [--step S]\n"
    "           [--seed K] --out OUT\n"
    "       slidesaver-render transition --old OLD --new NEW --style N [--step S] [--reverse]\n"
    "           [--seed K] --out-dir DIR\n";

struct Options {
  std::map<std::string, std::string> values;
  bool reverse = false;

  bool Has(const std::string& name) const { return values.count(name) != 0; }
  const std::string& Required(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end()) throw Error("missing " + name + "\n" + kUsage);
    return it->second;
  }
};

Options ParseOptions(int argc, char** argv, bool transition) {
  Options o;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (transition && arg == "--reverse") {
      o.reverse = true;
      continue;
    }
    static const char* kValued[] = {"--old", "--new", "--style", "--progress", "--step",
                                    "--seed", "--out", "--out-dir"};
    bool known = false;
    for (const char* name : kValued) known = known || arg == name;
    if (!known || i + 1 >= argc) throw Error("unexpected argument \"" + arg + "\"\n" + kUsage);
    o.values[arg] = argv[++i];
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

void SeedRandom(const Options& o) {
  if (o.Has("--seed")) {
    RandSeed(static_cast<std::uint64_t>(
        NumberArgument("--seed", o.Required("--seed"), 0, 9223372036854775807LL)));
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

void RenderFrame(const Options& o) {
  Inputs in = ReadInputs(o);
  const int progress = static_cast<int>(NumberArgument("--progress", o.Required("--progress"), 0, 100));
  const std::string out = o.Required("--out");
  SeedRandom(o);
  Stage stage(std::move(in));
  TTransitionView& view = stage.View();
  // Manual transitions start without drawing at the start value, so the
  // frame for P is drawn by moving there; P = 0 is reached going back from 100.
  view.SetReverse(progress == 0);
  view.SetManual(true);
  view.StartTransition();
  view.SetProgress(progress);
  WriteImage(out, view.ScreenImage());
  view.StopTransition();
}

void RenderTransition(const Options& o) {
  Inputs in = ReadInputs(o);
  const std::string dir = o.Required("--out-dir");
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    throw Error("Cannot create " + dir + ": " + std::strerror(errno));
  }
  SeedRandom(o);
  Stage stage(std::move(in));
  TTransitionView& view = stage.View();
  // Progress 0, as in a control's first transition: a forward transition
  // draws no frame at its start value, a reversed one starts at 100.
  view.SetReverse(false);
  view.SetManual(true);
  view.SetManual(false);
  view.SetReverse(o.reverse);
  int index = 0;
  view.OnAfterNewFrame = [&](void*, Bitmap&, Bitmap& screen) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%03d.png", index++);
    WriteImage(dir + name, screen);
  };
  view.StartTransition();
}

int Main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "frame") {
      RenderFrame(ParseOptions(argc, argv, false));
    } else if (command == "transition") {
      RenderTransition(ParseOptions(argc, argv, true));
    } else {
      std::cerr << kUsage;
      return 2;
    }
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
