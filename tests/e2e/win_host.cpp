// slidesaver-win-host: a screen-saver host's preview window, for end-to-end tests under Wine.
//
//   slidesaver-win-host W H [X Y]
//       Creates and shows a borderless window titled "host <HWND>" that never paints, prints
//       its HWND (decimal), then reads commands from stdin, one per line: hide, show, quit.
//       Every command is answered with "ok" once the window has carried it out. EOF ends like quit.
//   slidesaver-win-host --saver-running
//       Prints the system's screen-saver-running flag, 0 or 1.
//   slidesaver-win-host --post CLASS MESSAGE
//       Posts the message (a number) to the top-level window of that class, as another program
//       would; fails when there is none.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

namespace {

constexpr UINT kCommand = WM_APP + 1;  // wParam: 0 hide, 1 show, 2 quit

// The host paints nothing, so what the preview draws stays there.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      ValidateRect(window, nullptr);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case kCommand:
      if (wParam == 2) {
        DestroyWindow(window);
      } else {
        ShowWindow(window, wParam == 1 ? SW_SHOW : SW_HIDE);
      }
      std::printf("ok\n");
      std::fflush(stdout);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--saver-running") {
    BOOL running = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) return 1;
    std::printf("%d\n", running ? 1 : 0);
    return 0;
  }
  if (argc == 4 && std::string(argv[1]) == "--post") {
    const HWND target = FindWindowA(argv[2], nullptr);
    return target != nullptr && PostMessageA(target, std::strtoul(argv[3], nullptr, 0), 0, 0) ? 0 : 1;
  }
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr,
                 "usage: slidesaver-win-host W H [X Y] | --saver-running | --post CLASS MESSAGE\n");
    return 2;
  }
  const int width = std::atoi(argv[1]);
  const int height = std::atoi(argv[2]);
  const int x = argc == 5 ? std::atoi(argv[3]) : 0;
  const int y = argc == 5 ? std::atoi(argv[4]) : 0;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "SlidesaverTestHost";
  RegisterClassA(&windowClass);
  const HWND window = CreateWindowExA(0, windowClass.lpszClassName, "host", WS_POPUP | WS_VISIBLE, x,
                                      y, width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  const auto id = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window));
  SetWindowTextA(window, ("host " + std::to_string(id)).c_str());
  std::printf("%llu\n", id);
  std::fflush(stdout);
  // Commands reach the window through its own thread's queue.
  std::thread([window] {
    std::string line;
    WPARAM command = 2;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line == "hide" || line == "show") {
        PostMessageA(window, kCommand, line == "show" ? 1 : 0, 0);
      } else if (line == "quit") {
        break;
      } else {
        std::printf("error: unknown command\n");
        std::fflush(stdout);
      }
    }
    PostMessageA(window, kCommand, command, 0);
  }).detach();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
