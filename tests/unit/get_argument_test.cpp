// Cutting arguments from the command line: quotes, white space, double-byte
// characters, argument 0 and the life of the argument string.
#include "cmdline/get_argument.h"

#include <gtest/gtest.h>

#include "unit_support.h"

namespace {

struct CutRow {
  const char *checks;
  std::string line;
  int32_t index;
  std::string expected;
};

// Lines and what the helper must cut from them, with single-byte characters only.
const CutRow k_cutRows[] = {
    {"keyword after the program name", "prog.exe -rs32", 1, "-rs32"},
    {"spaces before, between and after", "   prog.exe     -rs32   ", 1, "-rs32"},
    {"quoted program path with a space", "\"D:\\My Tools\\prog.exe\" -rs32", 1, "-rs32"},
    {"unquoted path with a space splits", "D:\\My Tools\\prog.exe -rs32", 1, "Tools\\prog.exe"},
    {"... and the keyword becomes argument 2", "D:\\My Tools\\prog.exe -rs32", 2, "-rs32"},
    {"quote joins program name and keyword", "\"prog.exe\"-rs32", 1, ""},
    {"quoted keyword", "prog.exe \"-rs32\"", 1, "-rs32"},
    {"quotes inside a token are dropped", "prog.exe -r\"s\"32", 1, "-rs32"},
    {"quoted start of a token", "prog.exe \"-rs\"32", 1, "-rs32"},
    {"empty quotes inside a token", "prog.exe -rs32\"\"x", 1, "-rs32x"},
    {"two quoted stretches side by side", "prog.exe \"a\"\"b\"", 1, "ab"},
    {"quoted leading space is kept", "prog.exe \" -rs32\"", 1, " -rs32"},
    {"unclosed quote runs to the end", "prog.exe \"-rs32", 1, "-rs32"},
    {"unclosed quote keeps spaces", "prog.exe \"-rs32 x", 1, "-rs32 x"},
    {"trailing lone quote", "prog.exe -rs32\"", 1, "-rs32"},
    {"a lone quote is no argument", "prog.exe \"", 1, ""},
    {"backslash escapes nothing", "prog.exe \\\"-rs32\\\"", 1, "\\-rs32\\"},
    {"empty quotes then a space are skipped", "prog.exe \"\" -rs32", 1, "-rs32"},
    {"empty quotes at a token start are skipped", "prog.exe \"\"-rs32", 1, "-rs32"},
    {"empty quotes then a quoted stretch", "prog.exe \"\"\"a b\"", 1, "a b"},
    {"empty quotes alone make no program name", "\"\" -rs32", 1, ""},
    {"keyword alone is token 0", "-rs32", 1, ""},
    {"spaces then keyword alone is token 0", "   -rs32", 1, ""},
    {"program name alone", "prog.exe", 1, ""},
    {"program name and trailing spaces", "prog.exe   ", 1, ""},
    {"empty line", "", 1, ""},
    {"0x7F does not separate", "prog.exe\x7f-rs32", 1, ""},
    {"0xA0 does not separate", "prog.exe\xa0-rs32", 1, ""},
    {"first of several", "prog.exe a b", 1, "a"},
    {"second of several", "prog.exe a b", 2, "b"},
    {"one past the last", "prog.exe a b", 3, ""},
    {"far past the last", "prog.exe a b", 4, ""},
    {"largest index", "prog.exe a b", INT32_MAX, ""},
    {"quoted space joins two words", "prog.exe a\" \"b c", 1, "a b"},
    {"... and the next token follows", "prog.exe a\" \"b c", 2, "c"},
    {"control bytes inside quotes are kept",
     "prog.exe \"a\tb\x01"
     "c\"",
     1,
     "a\tb\x01"
     "c"},
    {"only argument 1 is the first after the name", "prog.exe -urs32 -rs32", 1, "-urs32"},
};

TEST(ArgumentCutting, EveryRowOfTheTable) {
  for (const CutRow &row : k_cutRows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    EXPECT_EQ(CutArgument(row.line, row.index), row.expected);
    EXPECT_EQ(FakeLiveBlocks(), 0);
  }
}

// The longest command line Windows passes: 32,767 bytes.
TEST(ArgumentCutting, LongestCommandLine) {
  constexpr size_t k_longest = 32767;
  const std::string name = "prog.exe ";
  struct Row {
    const char *checks;
    std::string line;
    std::string expected;
  };
  const Row rows[] = {
      {"one argument filling the line", name + std::string(k_longest - name.size(), 'x'),
       std::string(k_longest - name.size(), 'x')},
      {"keyword after a run of spaces", name + std::string(k_longest - name.size() - 5, ' ') + "-rs32", "-rs32"},
      {"unclosed quote to the end, spaces kept", name + "\"" + std::string(k_longest - name.size() - 1, ' '),
       std::string(k_longest - name.size() - 1, ' ')},
      {"keyword first, the rest ignored", name + "-rs32 " + std::string(k_longest - name.size() - 6, 'y'), "-rs32"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    ASSERT_EQ(row.line.size(), k_longest);
    StartFreshProcess();
    EXPECT_EQ(CutArgument(row.line, 1), row.expected);
    EXPECT_EQ(FakeLiveBlocks(), 0);
  }
}

TEST(ArgumentCutting, EveryControlByteSeparatesLikeASpace) {
  for (int byte = 0x01; byte <= 0x1F; ++byte) {
    SCOPED_TRACE(byte);
    StartFreshProcess();
    std::string line = std::string("prog.exe") + static_cast<char>(byte) + "-rs32";
    EXPECT_EQ(CutArgument(line, 1), "-rs32");
    line = static_cast<char>(byte) + std::string("prog.exe") + static_cast<char>(byte) + "a" + static_cast<char>(byte);
    EXPECT_EQ(CutArgument(line, 1), "a");
    EXPECT_EQ(CutArgument(line, 2), "");
  }
}

TEST(ArgumentCutting, NoArgumentHoldsAQuote) {
  for (const CutRow &row : k_cutRows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    for (int32_t index = 1; index <= 6; ++index) {
      EXPECT_EQ(CutArgument(row.line, index).find('"'), std::string::npos) << "argument " << index;
    }
  }
}

TEST(ArgumentCutting, NegativeIndexesGiveTheEmptyStringAndDropTheOldValue) {
  const int32_t negativeIndexes[] = {-1, -2, INT32_MIN};
  for (const CutRow &row : k_cutRows) {
    for (int32_t index : negativeIndexes) {
      SCOPED_TRACE(std::string(row.checks) + ", index " + std::to_string(index));
      StartFreshProcess();
      ArgumentString argument = {nullptr, 0};
      SetFakeCommandLine("prog.exe something");
      GetArgument(1, &argument);
      ASSERT_EQ(FakeLiveBlocks(), 1);
      SetFakeCommandLine(row.line);
      GetArgument(index, &argument);
      EXPECT_EQ(argument.length, 0u);
      EXPECT_EQ(argument.bytes, nullptr);
      EXPECT_EQ(FakeLiveBlocks(), 0);
    }
  }
}

TEST(ArgumentCutting, AskingTwiceGivesEqualStringsAndDropsThePreviousValue) {
  struct Row {
    const char *checks;
    int32_t first;
    int32_t second;
    std::string expected;
  };
  const Row rows[] = {
      {"same argument twice", 1, 1, "a-longer-argument"},           {"shorter after longer", 1, 2, "b"},
      {"longer after shorter", 2, 1, "a-longer-argument"},          {"empty after a value", 1, 3, ""},
      {"argument 0 after argument 1", 1, 0, "C:\\x\\comreg32.exe"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    g_fake.moduleFileName = "C:\\x\\comreg32.exe";
    SetFakeCommandLine("prog.exe a-longer-argument b");
    ArgumentString argument = {nullptr, 0};
    GetArgument(row.first, &argument);
    GetArgument(row.second, &argument);
    EXPECT_EQ(TextOf(argument), row.expected);
    EXPECT_EQ(FakeLiveBlocks(), argument.length == 0 ? 0 : 1);
    EmptyArgument(&argument);
    EXPECT_EQ(FakeLiveBlocks(), 0);
    EXPECT_FALSE(g_fake.wrongHeapHandle);
  }
}

TEST(ArgumentCutting, ArgumentZeroComesFromTheModuleFileName) {
  const std::string longPath = "C:\\" + std::string(320, 'p') + "\\comreg32.exe";
  struct Row {
    const char *checks;
    std::string moduleFileName;
    long reported;  // -1: what the fake's GetModuleFileNameA naturally returns
    std::string expected;
  };
  const Row rows[] = {
      {"the exe's path, not token 0", "C:\\real\\comreg32.exe", -1, "C:\\real\\comreg32.exe"},
      {"a path with spaces is kept whole", "C:\\My Tools\\comreg32.exe", -1, "C:\\My Tools\\comreg32.exe"},
      {"the call fails: 0", "C:\\real\\comreg32.exe", 0, ""},
      {"260 bytes fit with the zero", std::string(260, 'x'), -1, std::string(260, 'x')},
      {"261 bytes fill the buffer", std::string(261, 'y'), -1, std::string(261, 'y')},
      {"a longer path is cut at the buffer", longPath, -1, longPath.substr(0, 261)},
      {"a report above the buffer is held to 261", longPath, 300, longPath.substr(0, 261)},
      {"a shorter report is taken as it is", "C:\\real\\comreg32.exe", 7, "C:\\real"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    g_fake.moduleFileName = row.moduleFileName;
    g_fake.moduleFileNameResult = row.reported;
    EXPECT_EQ(CutArgument("\"C:\\other\\name.exe\" -rs32", 0), row.expected);
    EXPECT_EQ(g_fake.moduleFileNameCalls, 1);
    EXPECT_FALSE(g_fake.moduleFileNameForOtherModule);
    EXPECT_EQ(g_fake.moduleFileNameBufferSize, 261u);
    EXPECT_EQ(FakeLiveBlocks(), 0);
  }
}

struct DoubleByteRow {
  const char *checks;
  bool doubleByte;
  std::string line;
  int32_t index;
  std::string expected;
};

// Lead bytes 0x81-0x9F and 0xE0-0xFC (code page 932) take the next byte with them.
const DoubleByteRow k_doubleByteRows[] = {
    {"lead byte and space are one character", true, "prog.exe \x81 x", 1, "\x81 x"},
    {"... so no argument 2 follows", true, "prog.exe \x81 x", 2, ""},
    {"without the lead set the space separates", false, "prog.exe \x81 x", 1, "\x81"},
    {"... and x is argument 2", false, "prog.exe \x81 x", 2, "x"},
    {"lead byte and quote: the quote opens nothing", true, "prog.exe \x81\"a b", 1, "\x81\"a"},
    {"... and b is argument 2", true, "prog.exe \x81\"a b", 2, "b"},
    {"without the lead set the quote opens", false, "prog.exe \x81\"a b", 1,
     "\x81"
     "a b"},
    {"lead byte and quote inside quotes: no close", true, "prog.exe \"\x81\" x\" y", 1, "\x81\" x"},
    {"... and y is argument 2", true, "prog.exe \"\x81\" x\" y", 2, "y"},
    {"lead byte before the terminating zero", true, "prog.exe \x81", 1, "\x81"},
    {"lead byte before the zero inside quotes", true, "prog.exe \"\x9f", 1, "\x9f"},
    {"highest lead byte before the zero", true, "prog.exe a\xfc", 1, "a\xfc"},
    {"lead byte and tab", true, "prog.exe \xe0\t-rs32", 1, "\xe0\t-rs32"},
    {"ordinary two-byte characters", true, "prog.exe \x82\xa0\x95\\ -rs32", 1, "\x82\xa0\x95\\"},
    {"0x80 and 0xFD are not lead bytes", true, "prog.exe \x80 \xfd -rs32", 2, "\xfd"},
    {"lead byte in the program name", true, "\x81 -rs32 x", 1, "x"},
};

TEST(ArgumentCutting, DoubleByteCharacters) {
  for (const DoubleByteRow &row : k_doubleByteRows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    g_fake.doubleByte = row.doubleByte;
    EXPECT_EQ(CutArgument(row.line, row.index), row.expected);
    EXPECT_EQ(FakeLiveBlocks(), 0);
  }
}

TEST(ArgumentCutting, EqualsNeedsTheSameBytesAndLength) {
  struct Row {
    const char *checks;
    std::string argument;
    const char *keyword;
    bool equal;
  };
  const Row rows[] = {
      {"same bytes", "-rs32", "-rs32", true},        {"case differs", "-RS32", "-rs32", false},
      {"longer", "-rs32x", "-rs32", false},          {"shorter", "-rs3", "-rs32", false},
      {"empty against keyword", "", "-rs32", false}, {"empty against empty", "", "", true},
      {"text against empty", "x", "", false},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    ArgumentString argument = {nullptr, 0};
    SizeArgument(&argument, static_cast<uint32_t>(row.argument.size()));
    for (size_t i = 0; i < row.argument.size(); ++i) argument.bytes[i] = row.argument[i];
    EXPECT_EQ(ArgumentEquals(&argument, row.keyword), row.equal);
    EmptyArgument(&argument);
  }
}

}  // namespace
