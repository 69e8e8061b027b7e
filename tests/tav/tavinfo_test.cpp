// tavinfo: its text helpers, and the program end to end (header listing,
// raw tag extraction, PBM export, failures and usage).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tav.h"
#include "tav_test_support.h"
#include "tavinfo_format.h"
#include "tavinfo_json.h"

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

TEST(JsonHelpers, Base64Utf8AndRowCounting) {
  // RFC 4648 test vectors.
  const std::string plain = "foobar";
  const auto* p = reinterpret_cast<const uint8_t*>(plain.data());
  const char* expected[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
  for (std::size_t n = 0; n <= plain.size(); ++n) EXPECT_EQ(tavinfo::Base64(p, n), expected[n]);
  const Bytes high = {0xFF, 0xFE, 0x00, 0xFB};
  EXPECT_EQ(tavinfo::Base64(high.data(), high.size()), "//4A+w==");

  EXPECT_TRUE(tavinfo::IsUtf8("_KVT_CAD_Cyan \xC3\xA9\n"));
  EXPECT_FALSE(tavinfo::IsUtf8("\xC3"));
  EXPECT_FALSE(tavinfo::IsUtf8("\xFF"));

  // 1-bit rows, most significant bit first: the box follows the outermost
  // set bits, not whole bytes.
  tavinfo::PixelStats stats;
  const Bytes empty(3, 0);
  tavinfo::CountRow(empty.data(), empty.size(), 1, 0, stats);
  EXPECT_FALSE(stats.any);
  const Bytes row1 = {0x00, 0x10, 0x00};  // pixel 11
  tavinfo::CountRow(row1.data(), row1.size(), 1, 4, stats);
  const Bytes row2 = {0x40, 0x00, 0x81};  // pixels 1, 16 and 23
  tavinfo::CountRow(row2.data(), row2.size(), 1, 6, stats);
  tavinfo::CountRow(empty.data(), empty.size(), 1, 7, stats);
  EXPECT_TRUE(stats.any);
  EXPECT_EQ(stats.set, 4u);
  EXPECT_EQ(stats.left, 1u);
  EXPECT_EQ(stats.right, 23u);
  EXPECT_EQ(stats.top, 4u);
  EXPECT_EQ(stats.bottom, 6u);
  // 8-bit rows: a sample of 128 or more is set.
  tavinfo::PixelStats eight;
  const Bytes samples = {0x00, 0x7F, 0x80, 0x00, 0xFF, 0x00};
  tavinfo::CountRow(samples.data(), samples.size(), 8, 2, eight);
  EXPECT_EQ(eight.set, 2u);
  EXPECT_EQ(eight.left, 2u);
  EXPECT_EQ(eight.right, 4u);
  EXPECT_EQ(eight.top, 2u);
  EXPECT_EQ(eight.bottom, 2u);
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

// Every way of writing into the source is refused before anything is
// written: the name itself, a hard link (same file, another name), and
// standard output opened on the file (">>" keeps it whole until then).
TEST_F(TavinfoProgram, NoOutputIsWrittenIntoItsSource) {
  const std::string link = dir_.Path("hard.tav");
  ASSERT_EQ(::link(path_.c_str(), link.c_str()), 0);
  const Bytes before = ReadFileBytes(path_);
  const std::vector<std::string> commands = {
      "--pbm " + Quote(path_) + " " + Quote(path_),
      "--pbm " + Quote(link) + " " + Quote(path_),
      "--pbm - " + Quote(path_) + " >>" + Quote(path_),
      "--preview " + Quote(path_) + " " + Quote(path_),
      "--preview " + Quote(link) + " " + Quote(path_),
      "--preview - " + Quote(link) + " >>" + Quote(path_),
      "--tag _KVTVIEW.PNG " + Quote(path_) + " >>" + Quote(path_),
      "--tag _KVT_CAD_Cyan " + Quote(link) + " 1<>" + Quote(path_),
  };
  for (const std::string& command : commands) {
    std::string out, err;
    EXPECT_EQ(Run(command, &out, &err), 1) << command;
    EXPECT_NE(err.find("would replace the TAV file it is read from"), std::string::npos) << command << ": " << err;
    EXPECT_EQ(ReadFileBytes(path_), before) << command;
  }
  // A copy under another inode is a file of its own: written as asked.
  const std::string copy = dir_.Path("copy.tav");
  WriteFileBytes(copy, before);
  std::string out, err;
  EXPECT_EQ(Run("--pbm " + Quote(copy) + " " + Quote(path_), &out, &err), 0) << err;
  EXPECT_EQ(ReadFileBytes(copy)[0], 'P');
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

TEST_F(TavinfoProgram, JsonDescribesHeaderTagsAndPixels) {
  std::string out, err;
  ASSERT_EQ(Run("--json " + Quote(path_), &out, &err), 0) << err;
  const nlohmann::json doc = nlohmann::json::parse(out);
  ASSERT_TRUE(doc.is_object()) << out;
  EXPECT_EQ(doc["file"], path_);
  EXPECT_EQ(doc["width"], 13);
  EXPECT_EQ(doc["height"], 4);
  EXPECT_EQ(doc["bits_per_pixel"], 1);
  EXPECT_NEAR(doc["resolution_ppi"]["x"].get<double>(), 1200.0, 0.01);
  EXPECT_EQ(doc["format"]["code"], 2);
  EXPECT_EQ(doc["format"]["name"], "FW8B");
  EXPECT_EQ(doc["compression"]["tiff"], "PackBits");
  EXPECT_EQ(doc["mode"]["value"], 0x51);
  EXPECT_EQ(doc["mode"]["flags"], nlohmann::json({"0x01", "0x10", "runlength"}));
  EXPECT_EQ(doc["container"], "TIFF");

  const nlohmann::json& tags = doc["tags"];
  ASSERT_EQ(tags.size(), 3u) << out;
  EXPECT_EQ(tags[0]["name"], "_KVT_XMP");
  EXPECT_EQ(tags[0]["length"], 21);
  EXPECT_EQ(tags[0]["encoding"], "text");
  EXPECT_EQ(tags[0]["value"], "<x>\n  line two\r\n</x>");  // without its zero byte
  EXPECT_EQ(tags[1]["name"], "_KVTVIEW.PNG");
  EXPECT_EQ(tags[1]["length"], 8);
  EXPECT_EQ(tags[1]["encoding"], "base64");
  EXPECT_EQ(tags[1]["value"], tavinfo::Base64(png_.data(), png_.size()));
  EXPECT_EQ(tags[2]["value"], "c1");

  // The statistics, counted independently from the model of stored rows.
  uint64_t set = 0;
  int left = 13, right = -1, top = -1, bottom = -1;
  for (int y = 0; y < 4; ++y) {
    const Bytes stored = ExpectedStoredRow(rows_[y], 2, 13, 0x51);
    for (int x = 0; x < 13; ++x) {
      if (!StoredInk(stored, 2, x)) continue;
      ++set;
      left = std::min(left, x);
      right = std::max(right, x);
      if (top < 0) top = y;
      bottom = y;
    }
  }
  ASSERT_GT(set, 0u);
  const nlohmann::json& pixels = doc["pixels"];
  EXPECT_EQ(pixels["set"], set);
  EXPECT_EQ(pixels["total"], 52);
  EXPECT_DOUBLE_EQ(pixels["share"].get<double>(), static_cast<double>(set) / 52);
  EXPECT_EQ(pixels["bounding_box"],
            nlohmann::json({{"left", left}, {"top", top}, {"right", right}, {"bottom", bottom}}));

  // A blank page has no box; a tag name that is not UTF-8 comes with its bytes.
  const std::string blank = dir_.Path("blank.tav");
  ASSERT_EQ(WriteTav(blank, 3, 64, 0x11, 5, {Bytes(5, 0), Bytes(5, 0)}, 1, 1,
                     {{"bad\xFFname", Bytes{1, 2, 3, 0, 0}}}),
            0);
  ASSERT_EQ(Run("--json " + Quote(blank), &out, &err), 0) << err;
  const nlohmann::json empty = nlohmann::json::parse(out);
  EXPECT_EQ(empty["pixels"]["set"], 0);
  EXPECT_TRUE(empty["pixels"]["bounding_box"].is_null());
  EXPECT_EQ(empty["tags"][0]["name"], "bad\\xFFname");
  EXPECT_EQ(empty["tags"][0]["name_hex"], "626164ff6e616d65");
  EXPECT_EQ(empty["tags"][0]["encoding"], "base64");  // two zero bytes: not text
  EXPECT_EQ(empty["tags"][0]["value"], "AQIDAAA=");

  // Nothing but ASCII reaches the terminal, whatever the names hold.
  const std::string odd = dir_.Path("odd\xC2\x9B\xFF.tav");
  ASSERT_EQ(WriteTav(odd, 2, 0, 0x11, 8, {Bytes{1}}, 1, 1,
                     {{"n\xC2\x9B\x1B", Text("\xC3\xA9t\xC3\xA9")}}),
            0);
  ASSERT_EQ(Run("--json " + Quote(odd), &out, &err), 0) << err;
  for (const char c : out) {
    EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << int(c) << " in " << out;
  }
  const nlohmann::json odd_doc = nlohmann::json::parse(out);
  EXPECT_EQ(odd_doc["tags"][0]["name"], "n\xC2\x9B\x1B");
  EXPECT_EQ(odd_doc["tags"][0]["value"], "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(odd_doc["file"], dir_.Path("odd\xC2\x9B\xEF\xBF\xBD.tav"));  // U+FFFD
}

// Several files: each listed under its name, a bad one reported without
// stopping the others, and the exit status says something failed.
TEST_F(TavinfoProgram, SeveralFilesGoOnAfterABadOne) {
  const std::string bad = dir_.Path("bad.tav");
  WriteFileBytes(bad, Text("not a tiff", false));
  const std::string second = dir_.Path("second.tav");
  ASSERT_EQ(WriteTav(second, 3, 0, 0x11, 3, {Bytes{0, 0xFF, 0}}, 1, 1), 0);
  std::string out, err;
  EXPECT_EQ(Run(Quote(path_) + " " + Quote(bad) + " " + Quote(second), &out, &err), 1);
  const std::size_t first_at = out.find("==> " + path_ + " <==\nFile:");
  const std::size_t bad_at = out.find("\n==> " + bad + " <==\n");
  const std::size_t second_at = out.find("\n==> " + second + " <==\nFile:");
  EXPECT_EQ(first_at, 0u) << out;
  ASSERT_NE(bad_at, std::string::npos) << out;
  ASSERT_NE(second_at, std::string::npos) << out;
  EXPECT_LT(bad_at, second_at);
  EXPECT_NE(out.find("Image:        3 x 1 pixels, 8 bits per pixel"), std::string::npos);
  EXPECT_NE(err.find(bad + ": not a TAV file"), std::string::npos) << err;

  EXPECT_EQ(Run("--json " + Quote(path_) + " " + Quote(bad) + " " + Quote(second), &out, &err),
            1);
  const nlohmann::json doc = nlohmann::json::parse(out);
  ASSERT_TRUE(doc.is_array()) << out;
  ASSERT_EQ(doc.size(), 3u);
  EXPECT_EQ(doc[0]["width"], 13);
  EXPECT_EQ(doc[1]["file"], bad);
  EXPECT_NE(doc[1]["error"].get<std::string>().find("not a TAV file"), std::string::npos);
  EXPECT_EQ(doc[2]["pixels"]["set"], 1);
  EXPECT_EQ(Run("--json " + Quote(path_) + " " + Quote(second), &out, &err), 0) << err;
}

// Outputs are regular files only; inputs that are not regular files are
// refused instead of read (a FIFO would block for ever).
TEST_F(TavinfoProgram, OnlyRegularFilesAreReadOrReplaced) {
  std::string out, err;
  const std::string fifo = dir_.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Run("--pbm " + Quote(fifo) + " " + Quote(path_), &out, &err), 1);
  EXPECT_NE(err.find("it is a FIFO"), std::string::npos) << err;
  // timeout ends a tavinfo that would wait for a writer (exit 124).
  EXPECT_EQ(RunCommand("timeout 20 " + Quote(kTavinfo) + " " + Quote(fifo) + " 2>/dev/null"), 1);
  EXPECT_EQ(
      RunCommand("timeout 20 " + Quote(kTavinfo) + " --json " + Quote(fifo) + " >/dev/null 2>&1"),
      1);
  struct stat st {};
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // A symbolic link is neither followed nor replaced.
  const std::string target = dir_.Path("target.txt");
  WriteFileBytes(target, Text("keep", false));
  const std::string link = dir_.Path("link.pbm");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(Run("--pbm " + Quote(link) + " " + Quote(path_), &out, &err), 1);
  EXPECT_NE(err.find("symbolic link"), std::string::npos) << err;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFileBytes(target), Text("keep", false));
  EXPECT_EQ(Run("--pbm " + Quote(dir_.Path("")) + " " + Quote(path_), &out, &err), 1);
  EXPECT_NE(err.find("a folder"), std::string::npos) << err;

  // "-" is standard output, byte for byte what a file would get; an
  // existing regular file is replaced.
  const std::string pbm = dir_.Path("page.pbm");
  WriteFileBytes(pbm, Text("old", false));
  ASSERT_EQ(Run("--pbm " + Quote(pbm) + " " + Quote(path_), &out, &err), 0) << err;
  ASSERT_EQ(Run("--pbm - " + Quote(path_), &out, &err), 0) << err;
  const Bytes from_file = ReadFileBytes(pbm);
  EXPECT_EQ(Bytes(out.begin(), out.end()), from_file);
  EXPECT_EQ(Run("--pbm - " + Quote(path_) + " >/dev/full", &out, &err), 1);
  EXPECT_NE(err.find("standard output"), std::string::npos) << err;
}

TEST_F(TavinfoProgram, HelpVersionAndUsageErrors) {
  std::string out, err;
  ASSERT_EQ(Run("--version", &out, &err), 0);
  EXPECT_EQ(out, std::string("tavinfo ") + DRAV_VERSION + "\n");
  ASSERT_EQ(Run("-h", &out, &err), 0);
  for (const char* word : {"--json", "--tag NAME", "--pbm OUT", "--help", "--version", "--",
                           "Exit status", "0  success", "1  a FILE", "2  wrong usage"}) {
    EXPECT_NE(out.find(word), std::string::npos) << "help lacks " << word;
  }
  const std::string p = Quote(path_);
  const struct {
    std::string args;
    const char* expected;
  } usage[] = {
      {"--json", "no FILE"},
      {"--tag _KVT_XMP " + p + " " + p, "exactly one FILE"},
      {"--pbm", "--pbm needs a value"},
      {"--json --tag _KVT_XMP " + p, "exclude each other"},
      {"--tag a --tag b " + p, "given twice"},
  };
  for (const auto& u : usage) {
    EXPECT_EQ(Run(u.args, &out, &err), 2) << u.args;
    EXPECT_NE(err.find(u.expected), std::string::npos) << u.args << ": " << err;
  }
  // After "--" a name starting with "-" is a file.
  const std::string dashed = dir_.Path("-page.tav");
  ASSERT_EQ(RunCommand("cp " + p + " " + Quote(dashed)), 0);
  EXPECT_EQ(RunCommand("cd " + Quote(dir_.Path("")) + " && " + Quote(kTavinfo) +
                           " -- -page.tav >/dev/null"),
            0);
}

}  // namespace
}  // namespace tavtest
