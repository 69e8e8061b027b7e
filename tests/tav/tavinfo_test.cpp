// tavinfo: its text helpers, and the program end to end (header listing,
// raw tag extraction, PBM export, failures and usage).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <string>

#include "tav.h"
#include "tav_test_support.h"
#include "tavinfo_format.h"

#ifndef TAVINFO_PATH
#error "TAVINFO_PATH must name the tavinfo program"
#endif

namespace tavtest {
namespace {

const std::string kTavinfo = TAVINFO_PATH;

Bytes Text(const std::string& s, bool zero = true) {
  Bytes b(s.begin(), s.end());
  if (zero) b.push_back(0);
  return b;
}

TEST(TextDetection, TextEndsInOneZeroAndIsPrintableUtf8) {
  EXPECT_TRUE(tavinfo::IsTextValue(Text("")));
  EXPECT_TRUE(tavinfo::IsTextValue(Text("<x:xmpmeta>\n\t<a/>\r\n</x:xmpmeta>")));
  EXPECT_TRUE(tavinfo::IsTextValue(Text("Cyan \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")));
  EXPECT_FALSE(tavinfo::IsTextValue({}));
  EXPECT_FALSE(tavinfo::IsTextValue(Text("no zero", false)));
  EXPECT_FALSE(tavinfo::IsTextValue(Text(std::string("two\0", 4))));   // two zero bytes
  EXPECT_FALSE(tavinfo::IsTextValue(Text(std::string("a\0b", 3))));    // zero inside
  EXPECT_FALSE(tavinfo::IsTextValue(Text("esc \x1B[31m")));            // terminal escape
  EXPECT_FALSE(tavinfo::IsTextValue(Text("del \x7F")));
  EXPECT_FALSE(tavinfo::IsTextValue(Text("c1 \xC2\x85")));             // U+0085
  EXPECT_FALSE(tavinfo::IsTextValue(Text("\x89PNG")));                 // invalid UTF-8
  EXPECT_FALSE(tavinfo::IsTextValue(Text("\xC0\xAF")));                // overlong
  EXPECT_FALSE(tavinfo::IsTextValue(Text("\xED\xA0\x80")));            // surrogate
  EXPECT_FALSE(tavinfo::IsTextValue(Text("\xF4\x90\x80\x80")));        // above U+10FFFF
  EXPECT_FALSE(tavinfo::IsTextValue(Text("cut \xE2\x82")));            // cut sequence
}

TEST(Escaping, ControlCharactersBecomeVisible) {
  EXPECT_EQ(tavinfo::EscapeText("a\tb\nc\r\x1B"), "a\tb\nc\\r\\x1B");
  EXPECT_EQ(tavinfo::EscapeName("_KVT_CAD_\xC3\xA9\\\n"), "_KVT_CAD_\\xC3\\xA9\\\\\\x0A");
}

class TavinfoProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("page.tav");
    rows_ = RandomRows(2, 13, 4, 21);
    ASSERT_EQ(WriteTav(path_, 2, 0, 0x51, 13, rows_, 13 * 25.4 / 1200, 4 * 25.4 / 1200,
                       {{"_KVT_XMP", Text("<x>\n  line two\r\n</x>")}},
                       {{"_KVTVIEW.PNG", png_}, {"_KVT_CAD_Cyan", Text("c1")}}),
              0);
  }

  // Runs tavinfo with args; stdout in out, stderr in err.
  int Run(const std::string& args, std::string* out, std::string* err = nullptr) {
    const std::string err_path = dir_.Path("stderr.txt");
    const int code = RunCommand(Quote(kTavinfo) + " " + args + " 2>" + Quote(err_path), out);
    if (err != nullptr) {
      const Bytes e = ReadFileBytes(err_path);
      err->assign(e.begin(), e.end());
    }
    return code;
  }

  TempDir dir_;
  std::string path_;
  std::vector<Bytes> rows_;
  Bytes png_ = {0x89, 'P', 'N', 'G', 0, 0x1A, 0, 0xFF};
};

TEST_F(TavinfoProgram, ListsHeaderAndTags) {
  std::string out;
  ASSERT_EQ(Run(Quote(path_), &out), 0) << out;
  for (const char* line : {
           "Image:        13 x 4 pixels, 1 bit per pixel\n",
           "Resolution:   1200.000 x 1200.000 pixels per inch\n",
           "Format:       FW8B (code 2)\n",
           "Compression:  PackBits (code 0)\n",
           "Mode:         0x51 (0x01 + 0x10 + runlength)\n",
           "Container:    TIFF\n",
           "Tags:         3\n",
           "  _KVT_XMP: 21 bytes, text\n      <x>\n        line two\\r\n      </x>\n",
           "  _KVTVIEW.PNG: 8 bytes\n",
           "  _KVT_CAD_Cyan: 3 bytes, text\n      c1\n",
       }) {
    EXPECT_NE(out.find(line), std::string::npos) << "missing: " << line << "in:\n" << out;
  }
}

TEST_F(TavinfoProgram, ExtractsRawTagBytes) {
  const std::string dest = dir_.Path("tag.bin");
  std::string out;
  ASSERT_EQ(Run("--tag _KVTVIEW.PNG " + Quote(path_) + " >" + Quote(dest), &out), 0);
  EXPECT_EQ(ReadFileBytes(dest), png_);
  ASSERT_EQ(Run("--tag _KVT_CAD_Cyan " + Quote(path_) + " >" + Quote(dest), &out), 0);
  EXPECT_EQ(ReadFileBytes(dest), Text("c1"));

  std::string err;
  EXPECT_EQ(Run("--tag _KVT_NOPE " + Quote(path_), &out, &err), 1);
  EXPECT_NE(err.find("no tag called _KVT_NOPE"), std::string::npos) << err;
  EXPECT_EQ(Run("--tag _KVTVIEW.PNG " + Quote(path_) + " >/dev/full", &out, &err), 1);
  EXPECT_NE(err.find("standard output"), std::string::npos) << err;
}

TEST_F(TavinfoProgram, ExportsPbm) {
  const std::string pbm = dir_.Path("page.pbm");
  std::string out;
  ASSERT_EQ(Run("--pbm " + Quote(pbm) + " " + Quote(path_), &out), 0);
  Bytes expected = Text("P4\n13 4\n", false);
  for (const Bytes& row : rows_) {
    const Bytes stored = ExpectedStoredRow(row, 2, 13, 0x51);
    expected.insert(expected.end(), stored.begin(), stored.end());
  }
  EXPECT_EQ(ReadFileBytes(pbm), expected);
}

TEST_F(TavinfoProgram, ExportsPbmOfEightBitFile) {
  const std::string eight = dir_.Path("eight.tav");
  const std::vector<Bytes> rows = {{0x00, 0xFF, 0x80, 0x7F, 0xFF, 0x00, 0x00, 0x00, 0xFF}};
  ASSERT_EQ(WriteTav(eight, 3, 64, 0x11, 9, rows, 1, 1), 0);
  const std::string pbm = dir_.Path("eight.pbm");
  std::string out;
  ASSERT_EQ(Run("--pbm " + Quote(pbm) + " " + Quote(eight), &out), 0);
  // Samples >= 128 are black: pixels 1, 2, 4 and 8.
  Bytes expected = Text("P4\n9 1\n", false);
  expected.push_back(0x68);
  expected.push_back(0x80);
  EXPECT_EQ(ReadFileBytes(pbm), expected);
}

TEST_F(TavinfoProgram, ExportNeverReplacesItsOwnSource) {
  const Bytes before = ReadFileBytes(path_);
  std::string out, err;
  EXPECT_EQ(Run("--pbm " + Quote(path_) + " " + Quote(path_), &out, &err), 1);
  EXPECT_NE(err.find("would replace"), std::string::npos) << err;
  EXPECT_EQ(ReadFileBytes(path_), before);
}

TEST_F(TavinfoProgram, FailedExportLeavesNoFile) {
  const std::string pbm = dir_.Path("no/such/dir/page.pbm");
  std::string out, err;
  EXPECT_EQ(Run("--pbm " + Quote(pbm) + " " + Quote(path_), &out, &err), 1);
  EXPECT_FALSE(err.empty());
  struct stat st;
  EXPECT_NE(stat(pbm.c_str(), &st), 0);

  // A source whose pixel data is damaged: reading fails part way, the
  // temporary file is removed and OUT is not created.
  const std::string bad = dir_.Path("bad.tav");
  ASSERT_EQ(WriteTav(bad, 3, 64, 0x11, 2000, RandomRows(3, 2000, 400, 2), 1, 1), 0);
  Bytes whole = ReadFileBytes(bad);
  for (std::size_t i = 64; i < whole.size() / 2; ++i) whole[i] = static_cast<uint8_t>(i * 13);
  WriteFileBytes(bad, whole);
  const std::string pbm2 = dir_.Path("bad.pbm");
  EXPECT_EQ(Run("--pbm " + Quote(pbm2) + " " + Quote(bad), &out, &err), 1);
  EXPECT_NE(err.find("cannot read row"), std::string::npos) << err;
  EXPECT_NE(stat(pbm2.c_str(), &st), 0);
  std::string listing;
  RunCommand("ls " + Quote(dir_.Path("")), &listing);
  EXPECT_EQ(listing.find(".tmp"), std::string::npos) << listing;
}

TEST_F(TavinfoProgram, RefusesNonTavFilesAndBadUsage) {
  const std::string plain = dir_.Path("plain.txt");
  WriteFileBytes(plain, Text("hello", false));
  std::string out, err;
  EXPECT_EQ(Run(Quote(plain), &out, &err), 1);
  EXPECT_NE(err.find("not a TAV file"), std::string::npos) << err;

  // A small file claiming rows of 2 GiB is refused before any row is read.
  const std::string huge = dir_.Path("huge.tav");
  WriteRawStripTiff(huge, 0x7FFFFFFF, 1, 3, COMPRESSION_NONE, 1, {Bytes(64, 0)});
  EXPECT_EQ(Run("--pbm " + Quote(dir_.Path("huge.pbm")) + " " + Quote(huge), &out, &err), 1);
  EXPECT_NE(err.find("not a TAV file"), std::string::npos) << err;

  EXPECT_EQ(Run("", &out, &err), 2);
  EXPECT_NE(err.find("usage: tavinfo"), std::string::npos) << err;
  EXPECT_EQ(Run("--frobnicate " + Quote(path_), &out, &err), 2);
  EXPECT_NE(err.find("unknown option --frobnicate"), std::string::npos) << err;
  EXPECT_EQ(Run("--tag " + Quote(path_), &out, &err), 2);
  EXPECT_EQ(Run("--help", &out, &err), 0);
  EXPECT_NE(out.find("usage: tavinfo"), std::string::npos);
}

}  // namespace
}  // namespace tavtest
