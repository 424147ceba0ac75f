// Safe library loading: the search is restricted before the library is loaded.
#include "driver/library_search.h"

#include <gtest/gtest.h>

#include "driver/main_flow.h"
#include "unit_support.h"

namespace {

TEST(LibrarySearch, RestrictedWithWhatTheSystemOffers) {
  struct Row {
    const char *checks;
    bool kernelFound;
    bool defaultDirectoriesPresent;
    BOOL defaultDirectoriesAnswer;
    std::vector<DWORD> defaultDirectoryFlags;
    std::vector<std::string> dllDirectories;
  };
  const Row rows[] = {
      {"default directories set", true, true, 1, {0x1000}, {}},
      {"default directories refused: current directory dropped", true, true, 0, {0x1000}, {""}},
      {"old system without default directories", true, false, 1, {}, {""}},
      {"kernel32 not found", false, true, 1, {}, {""}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    ResetFakePlatform();
    g_fake.kernelFound = row.kernelFound;
    g_fake.defaultDirectoriesPresent = row.defaultDirectoriesPresent;
    g_fake.defaultDirectoriesAnswer = row.defaultDirectoriesAnswer;
    RestrictLibrarySearch();
    EXPECT_EQ(g_fake.defaultDirectoryFlags, row.defaultDirectoryFlags);
    EXPECT_EQ(g_fake.dllDirectories, row.dllDirectories);
    EXPECT_TRUE(g_fake.loadedNames.empty());
  }
}

TEST(LibrarySearch, RestrictedBeforeAnythingIsLoaded) {
  ResetFakePlatform();
  SetFakeCommandLine("prog.exe -rs32");
  RunFakeProcess(StartProcess);
  int restricted = FirstEvent("setdefaultdlldirectories");
  ASSERT_GE(restricted, 0);
  EXPECT_LT(restricted, FirstEvent("heapcreate"));
  EXPECT_LT(restricted, FirstEvent("load:"));
}

}  // namespace
