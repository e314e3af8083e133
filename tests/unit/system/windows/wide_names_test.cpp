#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "system/file_io.h"
#include "system/instance.h"
#include "system/replacement_file.h"
#include "system/run_folder.h"
#include "tests/support/scratch_folder.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

fs::path U8(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }

// Names outside the ANSI code page (Wine's is 1252) reach the system whole.
TEST(WideNamesTest, FilesFoldersAndLocksOutsideTheCodePage) {
  const test::ScratchFolder scratch("wide_names_test");
  const std::string folder = scratch.Path("Фото");
  const std::string pid = std::to_string(GetCurrentProcessId());
  const std::string leftover = folder + "\\run-" + pid + "-0";
  fs::create_directories(U8(leftover));
  auto run = RunFolder::Create(folder);
  NewFile file = NewFile::Create(run->PathOf("Мелодия.wav"));
  file.Write("abc", 3);
  file.Close();
  EXPECT_EQ(ReadableFile::Open(run->PathOf("Мелодия.wav")).Size(), 3);
  EXPECT_GT(run->FreeBytes(), 0);
  RemoveStaleRunFolders(folder);
  EXPECT_FALSE(fs::exists(U8(leftover)));
  run.reset();
  ReplacementFile settings;
  ASSERT_TRUE(settings.Create(folder + "\\CONTROL.INI", 0644));
  ASSERT_TRUE(settings.Write("mute=1") && settings.Commit(false));
  EXPECT_EQ(fs::file_size(U8(folder + "\\CONTROL.INI")), 6u);
  EXPECT_EQ(std::distance(fs::directory_iterator(U8(folder)), fs::directory_iterator()), 1);

  const InstanceLock lock = InstanceLock::TryAcquire({}, "Фото.scrSemaphore-" + pid);
  const std::wstring name = L"Фото.scrSemaphore-" + U8(pid).wstring();
  const HANDLE named = OpenSemaphoreW(SYNCHRONIZE, FALSE, name.c_str());
  EXPECT_EQ(lock.result(), InstanceLockResult::Acquired);
  EXPECT_NE(named, nullptr);
  if (named != nullptr) CloseHandle(named);
}

}  // namespace
}  // namespace slidesaver
