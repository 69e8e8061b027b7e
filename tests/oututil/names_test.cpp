// names_test.cpp - how file names are formed: job names, stems of temporary
// names and of final names.
#include "names.h"

#include <gtest/gtest.h>

#include <string>

namespace dravoututil {
namespace {

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
