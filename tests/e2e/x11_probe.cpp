// slidesaver-x11-probe: a small X11 helper for end-to-end tests.
//
//   slidesaver-x11-probe window W H [X Y]
//       Creates and maps a black top-level window, prints its id (decimal) once
//       it is mapped, then reads commands from stdin, one per line:
//       unmap, map, clear (fill black), destroy (prints "destroyed"), quit.
//       Every command is answered with "ok" once the server has carried it out;
//       an unknown one with "error: unknown command". EOF ends like quit.
//   slidesaver-x11-probe grab WINDOW OUT.ppm
//       Writes the whole window as a binary PPM (P6, RGB).
//   slidesaver-x11-probe exists WINDOW
//       Exit status 0 when the window exists, 1 when not.
//   slidesaver-x11-probe destroy WINDOW
//       Destroys any client's window, as another client may; status 1 when it fails.
//
// WINDOW is a decimal id, a 0x hex id, or "root". Exit status 2 on bad usage.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

// Window errors are expected here (a destroyed window, a wrong id): report them through
// return values instead of ending the process.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

Display* OpenDisplay() {
  // A connection attempt can fail once with EAGAIN when many come in quick succession.
  Display* display = nullptr;
  for (int attempt = 0; attempt < 5 && display == nullptr; ++attempt) {
    display = XOpenDisplay(nullptr);
  }
  if (display == nullptr) {
    std::cerr << "slidesaver-x11-probe: cannot open display\n";
    std::exit(2);
  }
  XSetErrorHandler(IgnoreErrors);
  return display;
}

std::optional<unsigned long> ParseNumber(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* digits = text.c_str() + (hex ? 2 : 0);
  if (*digits == '\0') return std::nullopt;
  char* end = nullptr;
  const unsigned long value = std::strtoul(digits, &end, hex ? 16 : 10);
  if (*end != '\0' || *digits == '-' || *digits == '+') return std::nullopt;
  return value;
}

std::optional<Window> ParseWindow(Display* display, const std::string& text) {
  if (text == "root") return DefaultRootWindow(display);
  return ParseNumber(text);
}

int Usage() {
  std::cerr << "usage: slidesaver-x11-probe window W H [X Y]\n"
               "       slidesaver-x11-probe grab WINDOW OUT.ppm\n"
               "       slidesaver-x11-probe exists WINDOW\n"
               "       slidesaver-x11-probe destroy WINDOW\n";
  return 2;
}

void WaitForEvent(Display* display, Window window, int type) {
  XEvent event;
  do {
    XWindowEvent(display, window, StructureNotifyMask, &event);
  } while (event.type != type);
}

bool IsMapped(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state != IsUnmapped;
}

int RunWindow(const std::vector<std::string>& args) {
  if (args.size() != 2 && args.size() != 4) return Usage();
  std::vector<unsigned long> numbers;
  for (const std::string& arg : args) {
    const auto n = ParseNumber(arg);
    if (!n) return Usage();
    numbers.push_back(*n);
  }
  if (numbers[0] == 0 || numbers[1] == 0) return Usage();
  const int x = args.size() == 4 ? static_cast<int>(numbers[2]) : 0;
  const int y = args.size() == 4 ? static_cast<int>(numbers[3]) : 0;

  Display* display = OpenDisplay();
  const int screen = DefaultScreen(display);
  const Window window =
      XCreateSimpleWindow(display, RootWindow(display, screen), x, y,
                          static_cast<unsigned>(numbers[0]), static_cast<unsigned>(numbers[1]), 0,
                          BlackPixel(display, screen), BlackPixel(display, screen));
  XSelectInput(display, window, StructureNotifyMask);
  XMapWindow(display, window);
  WaitForEvent(display, window, MapNotify);
  std::cout << window << std::endl;

  bool destroyed = false;
  std::string command;
  while (std::getline(std::cin, command)) {
    if (command == "quit") break;
    if (command == "unmap") {
      const bool wasMapped = !destroyed && IsMapped(display, window);
      XUnmapWindow(display, window);
      if (wasMapped) WaitForEvent(display, window, UnmapNotify);
    } else if (command == "map") {
      const bool wasMapped = destroyed || IsMapped(display, window);
      XMapWindow(display, window);
      if (!wasMapped) WaitForEvent(display, window, MapNotify);
    } else if (command == "clear") {
      XClearWindow(display, window);
    } else if (command == "destroy") {
      XDestroyWindow(display, window);
      XSync(display, False);
      destroyed = true;
      std::cout << "destroyed\n";
    } else {
      std::cout << "error: unknown command" << std::endl;
      continue;
    }
    XSync(display, False);
    std::cout << "ok" << std::endl;
  }
  XCloseDisplay(display);
  return 0;
}

int ChannelValue(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const unsigned long value = (pixel & mask) >> std::countr_zero(mask);
  const unsigned long max = mask >> std::countr_zero(mask);
  return static_cast<int>((value * 255 + max / 2) / max);
}

int RunGrab(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  Display* display = OpenDisplay();
  const auto window = ParseWindow(display, args[0]);
  if (!window) return Usage();
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, *window, &attributes) == 0) {
    std::cerr << "slidesaver-x11-probe: no such window\n";
    return 1;
  }
  XImage* image =
      XGetImage(display, *window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (image == nullptr) {
    std::cerr << "slidesaver-x11-probe: cannot read the window (is it viewable?)\n";
    return 1;
  }
  const Visual* visual = attributes.visual;
  std::FILE* out = std::fopen(args[1].c_str(), "wb");
  if (out == nullptr) {
    std::cerr << "slidesaver-x11-probe: cannot write " << args[1] << "\n";
    return 1;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", attributes.width, attributes.height);
  std::vector<unsigned char> row(static_cast<std::size_t>(attributes.width) * 3);
  for (int y = 0; y < attributes.height; ++y) {
    for (int x = 0; x < attributes.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      row[3 * x] = static_cast<unsigned char>(ChannelValue(pixel, visual->red_mask));
      row[3 * x + 1] = static_cast<unsigned char>(ChannelValue(pixel, visual->green_mask));
      row[3 * x + 2] = static_cast<unsigned char>(ChannelValue(pixel, visual->blue_mask));
    }
    std::fwrite(row.data(), 1, row.size(), out);
  }
  const bool written = std::fclose(out) == 0;
  XDestroyImage(image);
  XCloseDisplay(display);
  return written ? 0 : 1;
}

// "exists", or with `destroy` the "destroy" command: both fail when there is no such window.
int RunOnWindow(const std::vector<std::string>& args, bool destroy) {
  if (args.size() != 1) return Usage();
  Display* display = OpenDisplay();
  const auto window = ParseWindow(display, args[0]);
  if (!window) return Usage();
  XWindowAttributes attributes;
  const bool exists = *window != 0 && XGetWindowAttributes(display, *window, &attributes) != 0;
  if (exists && destroy) XDestroyWindow(display, *window);
  XSync(display, False);
  XCloseDisplay(display);
  return exists ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (mode == "window") return RunWindow(args);
  if (mode == "grab") return RunGrab(args);
  if (mode == "exists") return RunOnWindow(args, false);
  if (mode == "destroy") return RunOnWindow(args, true);
  return Usage();
}
