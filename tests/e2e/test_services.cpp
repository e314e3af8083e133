// Stand-ins for the desktop's password libraries, for tests under Wine. Built
// twice: with TEST_VERIFY as test-password-cpl.dll (installed as PASSWORD.CPL),
// with TEST_CHANGE as test-mpr.dll (installed as MPR.DLL).
//
// Every call appends a line to the file named by SLIDESAVER_TEST_SERVICES_LOG:
//   verify <window>                      VerifyScreenSavePwd
//   change <key> <window> <r1> <r2>      PwdChangePasswordA
// VerifyScreenSavePwd answers with the character of SLIDESAVER_TEST_VERIFY_ANSWERS
// at the position of its call ('0' stay, '1' leave; leave past the end).

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Variable(const char* name) {
  char value[1024];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// Appends the line; returns how many lines starting with `kind` were there before.
int Log(const char* kind, const std::string& line) {
  const std::string path = Variable("SLIDESAVER_TEST_SERVICES_LOG");
  if (path.empty()) return 0;
  int earlier = 0;
  if (FILE* in = std::fopen(path.c_str(), "r")) {
    char text[512];
    while (std::fgets(text, sizeof text, in)) earlier += std::strncmp(text, kind, std::strlen(kind)) == 0;
    std::fclose(in);
  }
  if (FILE* out = std::fopen(path.c_str(), "a")) {
    std::fprintf(out, "%s %s\n", kind, line.c_str());
    std::fclose(out);
  }
  return earlier;
}

}  // namespace

extern "C" {

#ifdef TEST_VERIFY
__declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
  const int call = Log("verify", std::to_string(reinterpret_cast<INT_PTR>(window)));
  const std::string answers = Variable("SLIDESAVER_TEST_VERIFY_ANSWERS");
  return call < static_cast<int>(answers.size()) && answers[call] == '0' ? FALSE : TRUE;
}
#endif

#ifdef TEST_CHANGE
__declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR key, HWND window, DWORD reserved1,
                                                     DWORD reserved2) {
  Log("change", std::string(key) + " " + std::to_string(reinterpret_cast<INT_PTR>(window)) + " " +
                    std::to_string(reserved1) + " " + std::to_string(reserved2));
  return 0;
}
#endif

}  // extern "C"
