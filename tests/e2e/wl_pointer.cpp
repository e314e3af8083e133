// slidesaver-wl-pointer: moves and clicks the pointer of a wlroots compositor (sway) through a
// virtual pointer, for the end-to-end tests of the saver under Wayland.
//
//   slidesaver-wl-pointer COMMAND...   runs the commands, then ends
//   slidesaver-wl-pointer serve        runs the commands of each line on standard input and
//                                      answers each line with "ok" or "error: WHY"
// where each COMMAND is one of
//     move-abs X Y                the pointer to X,Y of the output layout
//     move DX DY                  the pointer by DX,DY
//     click [left|right|middle]   press and release (left by default)
//
// Every command goes out as one frame, and the compositor has handled it before the next one
// goes and before the answer or the end, so that it has reached the clients by then.
//
// On a seat without other pointers, each virtual pointer that comes and goes gives the seat the
// pointer capability and takes it away again; sway 1.7 then may crash when Xwayland asks for a
// relative pointer on the pointer that has just gone. "serve" keeps one pointer (and with it the
// capability) for as long as it runs.

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <ctime>
#include <string>
#include <vector>

#include <virtual-pointer-client-protocol.h>
#include <xdg-output-unstable-v1-client-protocol.h>

namespace {

struct Output {
  uint32_t global = 0;
  wl_output* output = nullptr;
  zxdg_output_v1* xdg = nullptr;
  int32_t x = 0, y = 0;
  int32_t width = 0, height = 0;  // of the current mode, in pixels
  int32_t scale = 1;
  int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
  // Where the output stands in the layout: wl_output leaves that to xdg-output (wlroots always
  // reports 0,0 there).
  bool logical = false;
  int32_t logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;
};

struct State {
  wl_seat* seat = nullptr;
  zwlr_virtual_pointer_manager_v1* manager = nullptr;
  zxdg_output_manager_v1* xdgOutputs = nullptr;
  std::vector<Output*> outputs;
};

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t transform) {
  auto* output = static_cast<Output*>(data);
  output->x = x;
  output->y = y;
  output->transform = transform;
}

void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
  auto* output = static_cast<Output*>(data);
  output->width = width;
  output->height = height;
}

void OutputDone(void*, wl_output*) {}

void OutputScale(void* data, wl_output*, int32_t factor) {
  static_cast<Output*>(data)->scale = factor > 0 ? factor : 1;
}

void LogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  auto* output = static_cast<Output*>(data);
  output->logical = true;
  output->logicalX = x;
  output->logicalY = y;
}

void LogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
  auto* output = static_cast<Output*>(data);
  output->logicalWidth = width;
  output->logicalHeight = height;
}

void XdgDone(void*, zxdg_output_v1*) {}
void XdgName(void*, zxdg_output_v1*, const char*) {}
void XdgDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener kXdgOutputListener = {.logical_position = LogicalPosition,
                                                    .logical_size = LogicalSize,
                                                    .done = XdgDone,
                                                    .name = XdgName,
                                                    .description = XdgDescription};

void OutputText(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener = {.geometry = OutputGeometry,
                                            .mode = OutputMode,
                                            .done = OutputDone,
                                            .scale = OutputScale,
                                            .name = OutputText,
                                            .description = OutputText};

// The output's place in the layout, from xdg-output once both are bound (in either order).
void WatchPlace(State& state, Output& output) {
  if (state.xdgOutputs == nullptr || output.xdg != nullptr) return;
  output.xdg = zxdg_output_manager_v1_get_xdg_output(state.xdgOutputs, output.output);
  zxdg_output_v1_add_listener(output.xdg, &kXdgOutputListener, &output);
}

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
  auto* state = static_cast<State*>(data);
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && state->seat == nullptr) {
    state->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto* output = new Output;
    output->global = name;
    output->output = static_cast<wl_output*>(
        wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
    wl_output_add_listener(output->output, &kOutputListener, output);
    state->outputs.push_back(output);
    WatchPlace(*state, *output);
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
    state->xdgOutputs = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
        registry, name, &zxdg_output_manager_v1_interface, std::min(version, 2u)));
    for (Output* output : state->outputs) WatchPlace(*state, *output);
  } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    state->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  }
}

// An output that is unplugged leaves the layout.
void GlobalRemove(void* data, wl_registry*, uint32_t name) {
  auto& outputs = static_cast<State*>(data)->outputs;
  for (auto it = outputs.begin(); it != outputs.end(); ++it) {
    if ((*it)->global != name) continue;
    if ((*it)->xdg != nullptr) zxdg_output_v1_destroy((*it)->xdg);
    wl_output_destroy((*it)->output);
    delete *it;
    outputs.erase(it);
    return;
  }
}

const wl_registry_listener kRegistryListener = {.global = Global, .global_remove = GlobalRemove};

uint32_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

struct Box {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The rectangle that holds every output, in layout coordinates.
Box Layout(const std::vector<Output*>& outputs) {
  Box box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const Output* o : outputs) {
    const bool turned = o->transform % 2 == 1;  // 90 and 270 degrees, flipped or not
    const int32_t x = o->logical ? o->logicalX : o->x;
    const int32_t y = o->logical ? o->logicalY : o->y;
    const int32_t w = o->logical ? o->logicalWidth : (turned ? o->height : o->width) / o->scale;
    const int32_t h = o->logical ? o->logicalHeight : (turned ? o->width : o->height) / o->scale;
    box.left = std::min(box.left, x);
    box.top = std::min(box.top, y);
    box.right = std::max(box.right, x + w);
    box.bottom = std::max(box.bottom, y + h);
  }
  return box;
}

bool ParseInt(const std::string& text, long& value) {
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0';
}

const char kUsage[] =
    "usage: slidesaver-wl-pointer COMMAND... | serve\n"
    "  move-abs X Y               the pointer to X,Y of the output layout\n"
    "  move DX DY                 the pointer by DX,DY\n"
    "  click [left|right|middle]  press and release a button\n";

struct Session {
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  State state;
  zwlr_virtual_pointer_v1* pointer = nullptr;
};

// Sends the commands one by one; an empty text when all went through, else why not.
std::string Run(Session& session, const std::vector<std::string>& words) {
  zwlr_virtual_pointer_v1* pointer = session.pointer;
  for (std::size_t i = 0; i < words.size();) {
    const std::string& command = words[i++];
    if (command == "move-abs" || command == "move") {
      long a = 0, b = 0;
      if (i + 2 > words.size() || !ParseInt(words[i], a) || !ParseInt(words[i + 1], b)) {
        return command + " needs two whole numbers";
      }
      i += 2;
      if (command == "move") {
        zwlr_virtual_pointer_v1_motion(pointer, NowMs(), wl_fixed_from_int(static_cast<int>(a)),
                                       wl_fixed_from_int(static_cast<int>(b)));
      } else {
        // Outputs added or unplugged since the last command, then their places.
        for (int round = 0; round < 2; ++round) {
          if (wl_display_roundtrip(session.display) < 0) {
            return "the compositor dropped the connection";
          }
        }
        const Box box = Layout(session.state.outputs);
        if (box.right <= box.left || box.bottom <= box.top) return "no output to place it on";
        if (a < box.left || a >= box.right || b < box.top || b >= box.bottom) {
          return std::to_string(a) + "," + std::to_string(b) + " lies outside the layout " +
                 std::to_string(box.left) + "," + std::to_string(box.top) + " " +
                 std::to_string(box.right - box.left) + "x" + std::to_string(box.bottom - box.top);
        }
        zwlr_virtual_pointer_v1_motion_absolute(
            pointer, NowMs(), static_cast<uint32_t>(a - box.left),
            static_cast<uint32_t>(b - box.top), static_cast<uint32_t>(box.right - box.left),
            static_cast<uint32_t>(box.bottom - box.top));
      }
    } else if (command == "click") {
      uint32_t button = BTN_LEFT;
      if (i < words.size() && (words[i] == "left" || words[i] == "right" || words[i] == "middle")) {
        button = words[i] == "left" ? BTN_LEFT : words[i] == "right" ? BTN_RIGHT : BTN_MIDDLE;
        ++i;
      }
      zwlr_virtual_pointer_v1_button(pointer, NowMs(), button, WL_POINTER_BUTTON_STATE_PRESSED);
      zwlr_virtual_pointer_v1_frame(pointer);
      zwlr_virtual_pointer_v1_button(pointer, NowMs(), button, WL_POINTER_BUTTON_STATE_RELEASED);
    } else {
      return "unknown command " + command;
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    // Handled before the next command, so that a client sees separate moves. The outputs may
    // have changed meanwhile; their news comes along.
    if (wl_display_roundtrip(session.display) < 0) return "the compositor dropped the connection";
  }
  return {};
}

// Connects and makes the virtual pointer; an empty text when that worked, else why not.
std::string Open(Session& session) {
  session.display = wl_display_connect(nullptr);
  if (session.display == nullptr) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return std::string("cannot connect to the Wayland display ") + (name ? name : "(unset)");
  }
  State& state = session.state;
  session.registry = wl_display_get_registry(session.display);
  wl_registry_add_listener(session.registry, &kRegistryListener, &state);
  // The globals, then the outputs' geometry, modes and places in the layout.
  if (wl_display_roundtrip(session.display) < 0) return "the compositor dropped the connection";
  if (state.manager == nullptr) return "the compositor offers no zwlr_virtual_pointer_manager_v1";
  session.pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(state.manager, state.seat);
  if (wl_display_roundtrip(session.display) < 0) return "the compositor dropped the connection";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  const bool serve = words.size() == 1 && words[0] == "serve";
  if (words.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // Connecting, the objects and the ending are left to the process's end: the pointer lives
  // until the connection closes.
  Session session;
  if (const std::string why = Open(session); !why.empty()) {
    std::fprintf(stderr, "slidesaver-wl-pointer: %s\n", why.c_str());
    return 1;
  }
  if (!serve) {
    const std::string why = Run(session, words);
    if (!why.empty()) std::fprintf(stderr, "slidesaver-wl-pointer: %s\n%s", why.c_str(), kUsage);
    wl_display_disconnect(session.display);
    return why.empty() ? 0 : 1;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::vector<std::string> lineWords;
    for (std::string word; in >> word;) lineWords.push_back(word);
    const std::string why = Run(session, lineWords);
    std::cout << (why.empty() ? "ok" : "error: " + why) << std::endl;
    if (why == "the compositor dropped the connection") return 1;
  }
  wl_display_disconnect(session.display);
  return 0;
}
