#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace slidesaver {

// The system's text for an error code, without its line end ("Access is denied.").
std::string SystemErrorText(DWORD code);

// The UTF-16 form of a UTF-8 text, for the system's wide functions.
std::wstring Widen(std::string_view utf8);

// The UTF-8 form of a UTF-16 text the system's wide functions gave.
std::string Narrow(std::wstring_view wide);

}  // namespace slidesaver
