#include "system/run_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/scratch_folder.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

// Process numbers come round again: a folder named after this very process
// that nobody holds is an earlier process's, and goes; held folders stay.
TEST(RunFolderTest, UnheldFoldersGoWhateverTheirNumber) {
  const test::ScratchFolder base("run_folder_test");
  const std::string own = std::to_string(GetCurrentProcessId());
  const std::string leftover = base.Path("run-" + own + "-0123456789abcdef");
  fs::create_directory(leftover);
  std::ofstream(leftover + "/melody.wav") << "x";
  const auto held = RunFolder::Create(base.Path());
  std::ofstream(held->PathOf("a.wav")) << "x";
  RemoveStaleRunFolders(base.Path());
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_TRUE(fs::exists(held->PathOf("a.wav")));
}

}  // namespace
}  // namespace slidesaver
