// nesting_check_test.cpp - the nesting pre-check of TOML texts, and hostile
// device files that must be refused before the parser sees them.
#include "nesting_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "dravoututil.h"
#include "fake_host.h"
#include "test_files.h"

namespace dravoututil {

// Shows a position as "line:column" in test output.
void PrintTo(const TextPosition& at, std::ostream* out) { *out << at.line << ":" << at.column; }

namespace {

// The position of the first excess over limit, or {0, 0} when there is none.
TextPosition excess(const std::string& text, std::size_t limit = 4) {
  TextPosition where;
  if (!find_excess_nesting(text, limit, where)) return TextPosition{};
  return where;
}

// n copies of part joined by separator.
std::string repeated(const std::string& part, std::size_t n, const std::string& separator = "") {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text += (i == 0 ? "" : separator) + part;
  return text;
}


TEST(NestingCheck, CountsHeadersKeysArraysAndInlineTablesTogether) {
  const TextPosition none{};
  // Exactly the limit passes; one level more is found where it starts.
  EXPECT_EQ(excess("a.b.c.d = 1\n"), none);
  EXPECT_EQ(excess("a.b.c.d.e = 1\n"), (TextPosition{1, 9}));
  EXPECT_EQ(excess("a . b . c . \"d\" . 'e' = 1\n"), (TextPosition{1, 19}));
  EXPECT_EQ(excess("[a.b]\nc.d = 1\n"), none);
  EXPECT_EQ(excess("[a.b]\nc.d.e = 1\n"), (TextPosition{2, 5}));
  EXPECT_EQ(excess("[[a.b.c.d]]\nx = 1\n"), (TextPosition{2, 1}));
  EXPECT_EQ(excess("[a.b.c.d.e]\n"), (TextPosition{1, 10}));
  EXPECT_EQ(excess("a = [[[1]]]\n"), none);
  EXPECT_EQ(excess("a = [[[[1]]]]\n"), (TextPosition{1, 8}));
  EXPECT_EQ(excess("a = {b = {c = 1}}\n"), (TextPosition{1, 11}));
  EXPECT_EQ(excess("a = {b.c = 1}\n", 3), (TextPosition{1, 8}));
  EXPECT_EQ(excess("a = {b.c = 1}\n", 4), none);
  // A header resets the table's levels; closed brackets give theirs back.
  EXPECT_EQ(excess("[a.b.c.d]\nx = 1\n[d]\ne = [1, [2], {h = 3}]\n", 5), none);
  EXPECT_EQ(excess("[a.b.c.d]\nx = 1\n[d]\ne = [1, [2], {h.i = 3}]\n", 5), (TextPosition{4, 17}));
  EXPECT_EQ(excess("x = [[1], [2], [3], [[4]]]\ny = [1]\n", 3), (TextPosition{1, 22}));
  // Arrays span lines; the next key starts after the array closes.
  EXPECT_EQ(excess("a = [\n  [\n    [ [1] ]\n  ]\n]\n"), (TextPosition{3, 7}));
  EXPECT_EQ(excess("a = [\n 1,\n 2\n]\nb.c.d = 1\n"), none);
}

TEST(NestingCheck, StringsAndCommentsCountForNothing) {
  const TextPosition none{};
  const std::string brackets = repeated("[{", 50);
  const std::string dots = repeated("a", 50, ".");
  EXPECT_EQ(excess("x = \"" + brackets + dots + "\"\n"), none);
  EXPECT_EQ(excess("x = '" + brackets + "\\'\n"), none);  // no escapes in literal strings
  EXPECT_EQ(excess("x = \"\\\"" + brackets + "\" # " + brackets + "\n"), none);
  EXPECT_EQ(excess("\"" + dots + "\" = 1\n'" + dots + "' = 2\n"), none);
  EXPECT_EQ(excess("[\"" + dots + "\"]\n"), none);
  EXPECT_EQ(excess("# " + dots + " = 1\n" + "# [" + dots + "]\n"), none);
  // Multi-line strings span lines and may end in one or two quotes of their
  // own; the line of a later excess still counts every line end.
  EXPECT_EQ(excess("x = \"\"\"\n" + brackets + "\n\\\"\"\"\n\"\"\"\"\"\na.b.c.d.e = 1\n"),
            (TextPosition{5, 9}));
  EXPECT_EQ(excess("x = '''\n" + brackets + "\n''''\ny = [[[[[1]]]]]\n"), (TextPosition{4, 8}));
  EXPECT_EQ(excess("x = \"\"\ny = ''\nz = \"\"\"\"\"\"\na.b.c.d.e = 1\n"), (TextPosition{4, 9}));
  // Something left open is scanned to the end without harm.
  EXPECT_EQ(excess("x = \"\"\"" + brackets), none);
  EXPECT_EQ(excess("x = \"" + brackets + "\na.b.c.d.e = 1\n"), (TextPosition{2, 9}));
  EXPECT_EQ(excess("]]]}}}\n[\n"), none);
}

// A generated hostile device file of about 100 KB.
std::string hostile(const std::string& head, const std::string& part, const std::string& tail) {
  std::string text = "# generated\n[[film]]\nname = \"F\"\nlength = 1\nwidth = 1\n" + head;
  while (text.size() < 100 * 1024) text += part;
  return text + tail;
}

TEST(NestingCheck, RefusesHostileDeviceFilesQuicklyWithFileAndLine) {
  struct Case {
    const char* label;
    std::string text;
    const char* where;  // ":line:column:"
  };
  const Case cases[] = {
      {"DottedKey", hostile("a", ".a", ".b = 1\n"), ":6:63:"},
      {"Header", hostile("[a", ".a", "]\nx = 1\n"), ":6:66:"},
      {"ArrayOfTablesHeader", hostile("[[a", ".a", "]]\n"), ":6:67:"},
      {"InlineTables", hostile("x = ", "{a = ", "1"), ":6:80:"},
      {"Arrays", hostile("x = ", "[", "1"), ":6:35:"},
      {"Mixed", hostile("x = ", "[{a.b = ", "1"), ":6:63:"},
  };
  for (const Case& test : cases) {
    TempFolder folder;
    write_file(folder / "device.toml", test.text);
    FakeHost host;
    host.options["DEVICEDIR"] = folder.path();
    DravOutUtil* util = dravoututil_init(host.callbacks(), 0, nullptr);
    ASSERT_NE(util, nullptr);
    DravResource** resdata = nullptr;
    auto start = std::chrono::steady_clock::now();
    EXPECT_NE(dravoututil_readresfile(util, nullptr, 0, &resdata), 0) << test.label;
    auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_LT(spent, std::chrono::seconds(5)) << test.label;
    EXPECT_EQ(resdata, nullptr);
    ASSERT_EQ(host.messages.size(), 1u) << test.label;
    EXPECT_EQ(host.messages[0].level, DRAV_MSG_ERROR);
    const std::string expected = folder / "device.toml" + test.where +
                                 " nested deeper than 32 levels";
    EXPECT_NE(host.messages[0].text.find(expected), std::string::npos)
        << test.label << ": " << host.messages[0].text;
    dravoututil_end(util);

    // The handle-free check refuses it the same way.
    char error[512];
    EXPECT_NE(dravoututil_checkdevice(folder.path().c_str(), nullptr, error, sizeof error), 0);
    EXPECT_NE(std::string(error).find(expected), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace dravoututil
