#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "os/windows/saver_system.h"
#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

constexpr char kTestKeys[] = "Software\\SlidesaverTest";
constexpr char kKey[] = "Software\\SlidesaverTest\\Desktop";

// The stand-in libraries lie next to this test program.
std::string ProgramFolder() {
  char path[MAX_PATH];
  const std::string text(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return text.substr(0, text.find_last_of('\\') + 1);
}

// The close request with the desktop's real services: the setting in a test key
// of the registry, PASSWORD.CPL from a folder the test fills.
class CloseRequestTest : public SaverWindowTest {
 protected:
  ~CloseRequestTest() override {
    form_.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKeys);
    SetEnvironmentVariableA("SLIDESAVER_TEST_SERVICES_LOG", nullptr);
    SetEnvironmentVariableA("SLIDESAVER_TEST_VERIFY_ANSWERS", nullptr);
  }
};

TEST_F(CloseRequestTest, DecisionTable) {
  const DWORD one = 1, zero = 0;
  const struct {
    const char* what;
    bool key;
    DWORD type;  // REG_NONE: no value
    const void* value;
    DWORD size;
    const char* library;  // copied as PASSWORD.CPL; none when null
    const char* answers;
    bool closes;
    bool checked;
  } cases[] = {
      {"no key", false, REG_NONE, nullptr, 0, "test-password-cpl.dll", "0", true, false},
      {"no value", true, REG_NONE, nullptr, 0, "test-password-cpl.dll", "0", true, false},
      {"value 0", true, REG_DWORD, &zero, 4, "test-password-cpl.dll", "0", true, false},
      {"not an integer", true, REG_SZ, "1", 2, "test-password-cpl.dll", "0", true, false},
      {"no library", true, REG_DWORD, &one, 4, nullptr, "0", true, false},
      {"no entry point", true, REG_DWORD, &one, 4, "test-mpr.dll", "0", true, false},
      {"the check says leave", true, REG_DWORD, &one, 4, "test-password-cpl.dll", "1", true, true},
      {"the check says stay", true, REG_DWORD, &one, 4, "test-password-cpl.dll", "0", false, true},
  };
  const std::string log = scratch_.Path("services.log");
  SetEnvironmentVariableA("SLIDESAVER_TEST_SERVICES_LOG", log.c_str());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    form_.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKeys);
    HKEY key;
    if (c.key && RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                 nullptr) == ERROR_SUCCESS) {
      if (c.type != REG_NONE) {
        RegSetValueExA(key, "ScreenSaveUsePassword", 0, c.type, static_cast<const BYTE*>(c.value),
                       c.size);
      }
      RegCloseKey(key);
    }
    const std::string folder = scratch_.Path("system-" + std::to_string(&c - cases));
    CreateDirectoryA(folder.c_str(), nullptr);
    if (c.library != nullptr) {
      ASSERT_TRUE(CopyFileA((ProgramFolder() + c.library).c_str(), (folder + "\\PASSWORD.CPL").c_str(),
                            FALSE));
    }
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("SLIDESAVER_TEST_VERIFY_ANSWERS", c.answers);

    TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}), CreateWindowsSaverSystem(kKey, folder));
    const int cursor = backend_->CursorCount();
    Input(InputEvent::Kind::KeyDown);
    EXPECT_EQ(!form.Visible(), c.closes);
    std::stringstream calls;
    calls << std::ifstream(log).rdbuf();
    EXPECT_EQ(calls.str(), c.checked ? "verify 0\n" : "");
    // The cursor shows for the check and hides again; closing shows it for good.
    EXPECT_EQ(backend_->CursorCount(), cursor + (c.closes ? 1 : 0));
  }
}

}  // namespace
}  // namespace slidesaver::test
