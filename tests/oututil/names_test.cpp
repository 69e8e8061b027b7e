// names_test.cpp - how file names are formed: job names, stems of temporary
// names and of final names.
#include "names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "test_files.h"

namespace dravoututil {
namespace {

// Times on both sides of 2038-01-19 03:14:07 UTC (2^31 - 1 seconds), where
// a 32-bit count of seconds wraps.
constexpr int64_t k2037 = 2145916800;  // 2038-01-01 00:00:00 UTC
constexpr int64_t kWrap = 2147483647;  // 2038-01-19 03:14:07 UTC
constexpr int64_t k2040 = 2208988800;  // 2040-01-01 00:00:00 UTC
constexpr int64_t k2100 = 4102444800;  // 2100-01-01 00:00:00 UTC
constexpr int64_t k2107 = 4354819200;  // 2108-01-01 00:00:00 UTC, past 2^32

// The 32-bit count the plug-in contract carries for a time: its low bits.
int32_t low_bits(int64_t seconds) { return static_cast<int32_t>(static_cast<uint32_t>(seconds)); }

// A time handed over as 32 bits comes back whole when it lies within 68
// years of the reference clock, on both sides of every wrap.
TEST(SecondsFromInterface, RestoresTheFullTimeNearTheClock) {
  const struct {
    int64_t time;
    int64_t clock;
  } cases[] = {
      {1700000000, 1700000000},  {1700000000, 1700000000 + 86400},  // 2023, a day later
      {k2037, k2037 + 3600},     {kWrap, kWrap - 5},
      {kWrap + 1, kWrap},        {kWrap + 1, kWrap - 100},         // the first second past the wrap
      {k2040, k2040},            {k2040, k2037},                   // stamped before, read later
      {k2040 - 60, k2040},       {k2100, k2100 + 7},
      {k2107, k2107 - 1},        {0, 1000},                        // 2106: another wrap of 32 bits
      {k2040, 1700000000},                                         // 17 years ahead of the clock
  };
  for (const auto& c : cases) {
    EXPECT_EQ(seconds_from_interface(low_bits(c.time), c.clock), c.time) << c.time << " at " << c.clock;
  }
}

TEST(TimeStamp, NamesYearsAfter2038) {
  for (int64_t seconds : {k2037, kWrap + 1, k2040, k2100, k2107}) {
    const std::string stamp = time_stamp(seconds);
    EXPECT_EQ(stamp, local_stamp(seconds));
    EXPECT_NE(stamp.substr(0, 2), "19") << stamp;  // never 1901
  }
  EXPECT_EQ(time_stamp(k2100 + 12 * 3600).substr(0, 4), "2100");
}

TEST(SanitizeJobName, KeepsSafeBytesAndReplacesTheRest) {
  EXPECT_EQ(sanitize_job_name("Job_1.a-b"), "Job_1.a-b");
  EXPECT_EQ(sanitize_job_name("../../x"), "_._.._x");  // no "/" and no leading "."
  EXPECT_EQ(sanitize_job_name("%s%n"), "_s_n");
  EXPECT_EQ(sanitize_job_name("a b\tc\n"), "a_b_c_");
  EXPECT_EQ(sanitize_job_name("\xc3\xa9t\xc3\xa9"), "__t__");  // each non-ASCII byte
  EXPECT_EQ(sanitize_job_name(".hidden"), "_hidden");
  EXPECT_EQ(sanitize_job_name(""), "job");
  EXPECT_EQ(sanitize_job_name(std::string(300, 'j')), std::string(64, 'j'));
  EXPECT_EQ(sanitize_job_name(std::string(300, '/')), std::string(64, '_'));
}

TEST(StemOfTemporary, DropsTheDotThePidSequenceAndTheSuffix) {
  EXPECT_EQ(stem_of_temporary(".job-20240101-120000.4242.7.tmp"), "job-20240101-120000");
  EXPECT_EQ(stem_of_temporary(".job-20240101-120000.4242.7.tmp_pngpreview"), "job-20240101-120000");
  EXPECT_EQ(stem_of_temporary(".job-20240101-120000.4242.7"), "job-20240101-120000");
  // A job name holding its own ".1.2" keeps it: the last group is the library's.
  EXPECT_EQ(stem_of_temporary(".a.1.2-20240101-120000.99.3.tmp"), "a.1.2-20240101-120000");
}

TEST(HostName, IsCutAtTheFirstDotAndKeepsOnlySafeBytes) {
  EXPECT_EQ(sanitize_host_name("press-7.example.com"), "press-7");
  EXPECT_EQ(sanitize_host_name("a b/c%s"), "a_b_c_s");
  EXPECT_EQ(sanitize_host_name("r\xc3\xa9seau"), "r__seau");
  EXPECT_EQ(sanitize_host_name(std::string(100, 'h')), std::string(64, 'h'));
  EXPECT_EQ(sanitize_host_name(""), "localhost");
  EXPECT_EQ(sanitize_host_name(".example.com"), "localhost");
  // This machine's name follows the same rule and never changes.
  const std::string& here = host_name();
  EXPECT_EQ(sanitize_host_name(here), here);
  EXPECT_EQ(&host_name(), &here);
}

TEST(StemOfTemporary, ReadsTheFormWithTheHostName) {
  EXPECT_EQ(stem_of_temporary(".job-20240101-120000.press-7.4242.7.tmp"), "job-20240101-120000");
  EXPECT_EQ(stem_of_temporary(".job-20240101-120000.p_7.4242.7.tmp_pngpreview"),
            "job-20240101-120000");
  // A host name of digits only, and a job name with its own dots and digit
  // groups.
  EXPECT_EQ(stem_of_temporary(".job-20240101-120000.42.4242.7.tmp"), "job-20240101-120000");
  EXPECT_EQ(stem_of_temporary(".a.1.2-20240101-120000.host.99.3.tmp"), "a.1.2-20240101-120000");
  EXPECT_EQ(stem_of_temporary(".a.1.2-20240101-120000.7.99.3.tmp"), "a.1.2-20240101-120000");
  // A suffix of digits does not hide the library's group.
  EXPECT_EQ(stem_of_temporary(".job-20240101-120000.host.99.3.5"), "job-20240101-120000");
  // Without a time stamp the form is known by this machine's host name.
  EXPECT_EQ(stem_of_temporary("." + std::string("page.") + host_name() + ".12.3.tmp"), "page");
  std::string longest = ".job-20240101-120000." + std::string(64, 'h') + ".1.2.tmp";
  EXPECT_EQ(stem_of_temporary(longest), "job-20240101-120000");
}

TEST(ParseTemporaryName, AcceptsOnlyTheLibrarysOwnForm) {
  TemporaryNameParts parts;
  ASSERT_TRUE(parse_temporary_name(".a.b-20240101-120000.press.4242.17.tmp", parts));
  EXPECT_EQ(parts.stem, "a.b-20240101-120000");
  EXPECT_EQ(parts.host, "press");
  EXPECT_EQ(parts.pid, 4242u);
  EXPECT_EQ(parts.sequence, 17u);
  EXPECT_EQ(parts.suffix, ".tmp");
  ASSERT_TRUE(parse_temporary_name(".report.press.5.1.copy", parts));
  EXPECT_EQ(parts.stem, "report");
  EXPECT_EQ(parts.suffix, ".copy");
  ASSERT_TRUE(parse_temporary_name(".j.h.5.1.tmp_pngpreview", parts));
  EXPECT_EQ(parts.suffix, ".tmp_pngpreview");

  const char* const refused[] = {
      ".job-20240101-120000.4242.7.tmp",     // the older form: no host
      ".job.press.4242.7.tmpx",              // another suffix
      ".job.press.4242.7.tmp.tmp",           // sequence not a number
      ".job.press.4242.tmp",                 // no sequence
      ".press.4242.7.tmp",                   // no stem
      "..press.4242.7.tmp",                  // empty stem
      "job.press.4242.7.tmp",                // not hidden
      ".job.press.04242.7.tmp",              // a pid the library never writes
      ".job.press.0.7.tmp",                  // pid 0
      ".job.press.4242.0.tmp",               // sequence 0
      ".job.pr%ss.4242.7.tmp",               // a host byte the library replaces
      ".job.press.12345678901234567890.1.tmp",  // too many digits
      ".job..4242.7.tmp",                    // empty host
      ".tmp",
      "",
  };
  for (const char* name : refused) EXPECT_FALSE(parse_temporary_name(name, parts)) << name;
  std::string long_host = ".job." + std::string(65, 'h') + ".1.2.tmp";
  EXPECT_FALSE(parse_temporary_name(long_host, parts));
}

TEST(StemOfTemporary, OtherNamesLoseOnlyTheirLastExtension) {
  EXPECT_EQ(stem_of_temporary("plain.tif"), "plain");
  EXPECT_EQ(stem_of_temporary("archive.tar.gz"), "archive.tar");
  EXPECT_EQ(stem_of_temporary("noext"), "noext");
  EXPECT_EQ(stem_of_temporary(".hidden"), ".hidden");
  EXPECT_EQ(stem_of_temporary(".job.12.x.tmp"), ".job.12.x");
}

TEST(SplitFinalName, DropsACopyNumberButNotTheTimeStamp) {
  auto check = [](const char* base, const char* stem, const char* extension) {
    FinalNameParts parts = split_final_name(base);
    EXPECT_EQ(parts.stem, stem) << base;
    EXPECT_EQ(parts.extension, extension) << base;
  };
  check("job-20240101-120000.tav", "job-20240101-120000", ".tav");
  check("job-20240101-120000-2.tav", "job-20240101-120000", ".tav");
  check("job-20240101-120000-17.tav", "job-20240101-120000", ".tav");
  check("report-3.tav", "report", ".tav");
  check("report-03.tav", "report-03", ".tav");
  check("report.tav", "report", ".tav");
  check("-2.tav", "-2", ".tav");
  check("noext-4", "noext", "");
}

}  // namespace
}  // namespace dravoututil
