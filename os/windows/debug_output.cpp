#include "system/debug_output.h"

#include <windows.h>

#include <string>

#include "os/windows/system_error.h"

namespace slidesaver {

void WriteDebuggerLine(std::string_view line) {
  std::wstring text = Widen(line);
  text += L"\r\n";
  OutputDebugStringW(text.c_str());
}

}  // namespace slidesaver
