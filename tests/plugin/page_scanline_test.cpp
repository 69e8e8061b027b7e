// Pages, buffers and scanlines: sizes, film limits, expansion, rows.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "dravout.h"
#include "expand.h"
#include "fake_host.h"
#include "plugin_state.h"
#include "stages.h"

namespace plugin_test {
namespace {

using dravout::state;

TEST_F(PluginTest, ScanlineBufferSizes) {
  OpenJob();
  ASSERT_EQ(dravout_startpage(Page(1, 1)), 0);
  EXPECT_EQ(dravout::scanline_bytes, 8);
  EXPECT_EQ(dravout::expanded.data, nullptr);
  ASSERT_EQ(dravout_endjob(), 0);

  fake_host().strings["OFORMAT"] = "FW88B";
  ASSERT_EQ(dravout_jobsettings(), 0);
  ASSERT_EQ(dravout_startjob(Job(2400.0, 1)), 0);
  ASSERT_EQ(dravout_startpage(Page(8192, 10)), 0);
  EXPECT_EQ(dravout::scanline_bytes, 1028);
  ASSERT_NE(dravout::expanded.data, nullptr);

  // A narrower page keeps the wide buffers and clears every byte of them.
  std::memset(dravout::scanline.data, 0xAB, 1028);
  std::memset(dravout::expanded.data, 0xCD, 8224);
  dravout::scanline.flag = 1;
  ASSERT_EQ(dravout_startpage(Page(100, 10)), 0);
  EXPECT_EQ(dravout::scanline_bytes, 1028);
  EXPECT_EQ(dravout::scanline.flag, 0);
  EXPECT_EQ(std::vector<uint8_t>(dravout::scanline.data, dravout::scanline.data + 1028), std::vector<uint8_t>(1028, 0));
  EXPECT_EQ(std::vector<uint8_t>(dravout::expanded.data, dravout::expanded.data + 8224), std::vector<uint8_t>(8224, 0));
}

TEST_F(PluginTest, FilmLimitsAtTheJobResolution) {
  fake_host().strings["CONF"] = "Test-2540";
  OpenJob(2540.0);
  // The configuration's film "test-film" matches "TEST-FILM" without regard
  // to case; of two matching entries the first one counts.
  std::strcpy((*state.resdata)->films[2].name, "Test-Film");
  EXPECT_EQ(dravout_startpage(Page(12700, 100)), 0);
  EXPECT_EQ(dravout_startpage(Page(12701, 100)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Job width too big (12701 > 12700)"));
  EXPECT_EQ(state.height, 100);

  EXPECT_EQ(dravout_startpage(Page(10, 25400)), 0);
  EXPECT_EQ(dravout_startpage(Page(10, 25401)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Job height too big (25401 > 25400)"));
}

TEST_F(PluginTest, PageSizeCopiesAndDescriptionErrors) {
  OpenJob();
  EXPECT_EQ(dravout_startpage(Page(0, 10)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Zero height and/or width requested (height = 10, width = 0)"));
  EXPECT_EQ(dravout_startpage(Page(10, 10, 0)), 0);
  EXPECT_EQ(state.ncopies, 1);
  EXPECT_EQ(dravout_startpage(Page(10, 10, -3)), 0);
  EXPECT_EQ(state.ncopies, 1);
  EXPECT_EQ(dravout_startpage(Page(10, 10, 3)), 0);
  EXPECT_EQ(state.ncopies, 3);

  CStringKeyDict page;
  page["width"] = 10;
  page["height"] = 10;
  EXPECT_EQ(dravout_startpage(Container(page)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Key 'ncopies' not found"));
}

TEST_F(PluginTest, PageWithoutResourceDataIsRefused) {
  Open();  // no job settings: no resource data
  ASSERT_EQ(dravout_startjob(Job(2400.0, 1)), 0);
  EXPECT_EQ(dravout_startpage(Page(10, 10)), 17);
  EXPECT_EQ(fake_host().At(1).size(), 1u);
}

TEST_F(PluginTest, PageOutsideAStartedJobIsRefused) {
  // A job refused for its bits per sample, and a host that goes on anyway:
  // no buffers sized for rows the plug-in cannot take.
  Open();
  ASSERT_EQ(dravout_jobsettings(), 0);
  EXPECT_EQ(dravout_startjob(Job(2400.0, 8)), 17);
  EXPECT_EQ(dravout_startpage(Page(1000, 10)), 17);
  EXPECT_TRUE(fake_host().Has(1, "No job started: a page needs a job that dravout_startjob accepted"));
  EXPECT_EQ(dravout::scanline_bytes, 0);
}

TEST_F(PluginTest, MissingFilmIsReported) {
  Open();
  ASSERT_EQ(dravout_jobsettings(), 0);
  std::strcpy((*state.resdata)->selected->film_name, "Nowhere");
  ASSERT_EQ(dravout_startjob(Job(2400.0, 1)), 0);
  EXPECT_EQ(dravout_startpage(Page(10, 10)), 17);
  EXPECT_TRUE(fake_host().Has(1, "Film (Nowhere) in selected configuration (CTP-2400) not found"));
}

TEST_F(PluginTest, WideBuffersAreSizedWithoutOverflow) {
  OpenJob();
  state.out_bps = 8;
  // The expansion buffer of the widest possible page is larger than 2 GiB;
  // its size must not wrap, and the buffer state stays consistent whatever
  // the allocation's outcome.
  const int status = dravout::alloc_scanline_buffers(INT32_MAX);
  if (status == 0) {
    EXPECT_EQ(dravout::scanline_bytes, 268435460);
    EXPECT_NE(dravout::expanded.data, nullptr);
  } else {
    EXPECT_EQ(status, 9);
    EXPECT_EQ(dravout::scanline_bytes, 0);
    EXPECT_EQ(dravout::scanline.data, nullptr);
    EXPECT_EQ(dravout::expanded.data, nullptr);
  }
  dravout::release_scanline_buffers();
}

TEST_F(PluginTest, FailedExpansionBufferLeavesNoHalfAllocatedPair) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit cannot be set under AddressSanitizer";
#else
  OpenJob();
  state.out_bps = 8;
  // In a child whose address space leaves room for the 256 MiB scanline
  // buffer but not for its 2 GiB expansion, the second allocation fails.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t in_use = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    const rlimit limit{in_use + (768u << 20), in_use + (768u << 20)};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
    const int status = dravout::alloc_scanline_buffers(INT32_MAX);
    const bool consistent = dravout::scanline_bytes == 0 && dravout::scanline.data == nullptr &&
                            dravout::expanded.data == nullptr;
    const bool reported =
        fake_host().Has(1, "Not enough memory for extended scanline buffer allocation (2147483680 bytes)");
    _exit(status == 9 && consistent && reported ? 0 : 1);
  }
  int wstatus = 0;
  ASSERT_EQ(waitpid(child, &wstatus, 0), child);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
#endif
}

TEST(Expansion, EachBitBecomesAByte) {
  const uint8_t input[5] = {0x01, 0x80, 0xA5, 0x00, 0xFF};
  uint8_t out[40];
  dravout::expand_scanline(input, 5, out);
  const uint8_t expected[40] = {0xFF, 0, 0, 0, 0, 0, 0, 0,          0, 0, 0, 0, 0, 0, 0, 0xFF,
                                0xFF, 0, 0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(out, expected, 40), 0);
  EXPECT_EQ(dravout::expand_table[0], 0x00000000u);
  EXPECT_EQ(dravout::expand_table[1], 0x000000FFu);
  EXPECT_EQ(dravout::expand_table[2], 0x0000FF00u);
  EXPECT_EQ(dravout::expand_table[5], 0x00FF00FFu);
  EXPECT_EQ(dravout::expand_table[15], 0xFFFFFFFFu);
}

TEST(Expansion, FastPathMatchesTheNibbleTable) {
  std::vector<uint8_t> input(256 + 3);
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> fast(8 * input.size()), reference(8 * input.size());
  dravout::expand_scanline(input.data(), input.size(), fast.data());
  dravout::expand_scanline_reference(input.data(), input.size(), reference.data());
  EXPECT_EQ(fast, reference);
}

class ScanlineTest : public PluginTest {
 protected:
  // A job with the given format and mirror setting, one page, one separation.
  void StartSeparation(const char* format, int left, int width, int height) {
    fake_host().strings["OFORMAT"] = format;
    fake_host().ints["LEFT"] = left;
    OpenJob();
    ASSERT_EQ(dravout_startpage(Page(width, height)), 0);
    ASSERT_EQ(dravout_startseparations(Separation()), 0);
  }
};

TEST_F(ScanlineTest, RowsAreWrittenInOrderAndTheHostBufferIsLeftAlone) {
  StartSeparation("FW8B", 1, 20, 2);  // LEFT 1: no mirror
  ScanlineBuffer* buffer = nullptr;
  ASSERT_EQ(dravout_newscan(&buffer), 0);
  EXPECT_EQ(buffer, &dravout::scanline);
  buffer->data[0] = 0x5A;
  ASSERT_EQ(dravout_putscan(buffer), 0);
  EXPECT_EQ(buffer->data[0], 0x5A);
  EXPECT_EQ(buffer->flag, 0);  // neither mirror nor reverse
  EXPECT_EQ(state.row, 1);
  ASSERT_EQ(dravout_putscan(buffer), 0);
  // A row beyond the page is refused by the writer.
  EXPECT_EQ(dravout_putscan(buffer), 7);
  EXPECT_TRUE(fake_host().Has(1, "Writing scanline 2 failed"));
  EXPECT_EQ(state.row, 2);
}

TEST_F(ScanlineTest, MirrorSetsTheFlagAfterTheFirstRow) {
  StartSeparation("FW88B", 0, 20, 1);
  ScanlineBuffer* buffer = nullptr;
  dravout_newscan(&buffer);
  EXPECT_EQ(buffer->flag, 0);
  ASSERT_EQ(dravout_putscan(buffer), 0);
  EXPECT_EQ(buffer->flag, 1);
  EXPECT_EQ(dravout_putscan(buffer), 7);
  EXPECT_TRUE(fake_host().Has(1, "Writing expanded scanline 1 failed"));
  EXPECT_EQ(state.row, 1);
}

TEST_F(ScanlineTest, SeparationThatIsNotOutputWritesNothing) {
  fake_host().ints["outputpage"] = 0;
  StartSeparation("FW8B", 0, 20, 2);
  EXPECT_EQ(state.tavfile, nullptr);
  ScanlineBuffer* buffer = nullptr;
  dravout_newscan(&buffer);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(dravout_putscan(buffer), 0);
  EXPECT_EQ(state.row, 0);
  EXPECT_EQ(dravout_endseparations(), 0);
  EXPECT_TRUE(OutputFiles().empty());
  EXPECT_TRUE(fake_host().files.empty());
}

TEST_F(ScanlineTest, SeparationDescriptionsWithoutSeparationsAreAccepted) {
  fake_host().ints["outputpage"] = 0;
  StartSeparation("FW8B", 0, 20, 1);
  CStringKeyDict sep;
  sep["separations"] = "not a list";
  EXPECT_EQ(dravout_startseparations(Container(sep)), 0);
  CStringKeyDict empty;
  EXPECT_EQ(dravout_startseparations(Container(empty)), 0);
  EXPECT_EQ(dravout_startseparations(nullptr), 17);
}

}  // namespace
}  // namespace plugin_test
