#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/windows/saver_system.h"
#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

constexpr char kKey[] = "Software\\SlidesaverTest\\Desktop";

// The folder of this test program, where the build puts the stand-in libraries.
std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

// The close request with the desktop's real services: the setting in a test key
// of the registry, PASSWORD.CPL from a folder the test fills.
class CloseRequestTest : public SaverWindowTest {
 protected:
  CloseRequestTest() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\SlidesaverTest");
    SetEnvironmentVariableA("SLIDESAVER_TEST_SERVICES_LOG", scratch_.Path("services.log").c_str());
  }
  ~CloseRequestTest() override {
    form_.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\SlidesaverTest");
    SetEnvironmentVariableA("SLIDESAVER_TEST_SERVICES_LOG", nullptr);
    SetEnvironmentVariableA("SLIDESAVER_TEST_VERIFY_ANSWERS", nullptr);
  }

  // Makes the key; REG_NONE leaves it without the value.
  void SetValue(DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr), ERROR_SUCCESS);
    if (type != REG_NONE) {
      RegSetValueExA(key, "ScreenSaveUsePassword", 0, type, static_cast<const BYTE*>(data), size);
    }
    RegCloseKey(key);
  }

  std::string Log() {
    std::ifstream in(scratch_.Path("services.log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(CloseRequestTest, DecisionTable) {
  enum class Value { kNoKey, kMissing, kZero, kOne, kText };
  enum class Library { kNone, kWithoutEntry, kAnswering };
  const struct {
    const char* what;
    Value value;
    Library library;
    const char* answers;
    bool closes;
    bool checked;
  } cases[] = {
      {"no key", Value::kNoKey, Library::kAnswering, "0", true, false},
      {"no value", Value::kMissing, Library::kAnswering, "0", true, false},
      {"value 0", Value::kZero, Library::kAnswering, "0", true, false},
      {"value not an integer", Value::kText, Library::kAnswering, "0", true, false},
      {"no library", Value::kOne, Library::kNone, "0", true, false},
      {"no entry point", Value::kOne, Library::kWithoutEntry, "0", true, false},
      {"the check lets the user leave", Value::kOne, Library::kAnswering, "1", true, true},
      {"the check keeps the saver", Value::kOne, Library::kAnswering, "0", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    form_.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\SlidesaverTest");
    const DWORD one = 1, zero = 0;
    switch (c.value) {
      case Value::kNoKey:
        break;
      case Value::kMissing:
        SetValue(REG_NONE, nullptr, 0);
        break;
      case Value::kZero:
        SetValue(REG_DWORD, &zero, sizeof zero);
        break;
      case Value::kOne:
        SetValue(REG_DWORD, &one, sizeof one);
        break;
      case Value::kText:
        SetValue(REG_SZ, "1", 2);
        break;
    }
    const std::string folder = scratch_.Path("system-" + std::to_string(&c - cases));
    CreateDirectoryA(folder.c_str(), nullptr);
    if (c.library != Library::kNone) {
      const char* source =
          c.library == Library::kAnswering ? "test-password-cpl.dll" : "test-mpr.dll";
      ASSERT_TRUE(CopyFileA((ProgramFolder() + source).c_str(), (folder + "\\PASSWORD.CPL").c_str(),
                            FALSE));
    }
    DeleteFileA(scratch_.Path("services.log").c_str());
    SetEnvironmentVariableA("SLIDESAVER_TEST_VERIFY_ANSWERS", c.answers);

    TfrmScrn& form = Start(WriteSaver({Jpeg(8, 8, 1)}), CreateWindowsSaverSystem(kKey, folder));
    const int cursor = backend_->CursorCount();
    Input(InputEvent::Kind::KeyDown);
    EXPECT_EQ(!form.Visible(), c.closes);
    EXPECT_EQ(Log(), c.checked ? "verify 0\n" : "");
    // The cursor shows for the check and hides again; closing shows it for good.
    EXPECT_EQ(backend_->CursorCount(), cursor + (c.closes ? 1 : 0));
  }
}

}  // namespace
}  // namespace slidesaver::test
