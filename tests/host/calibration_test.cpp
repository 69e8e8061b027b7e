// calibration_test.cpp - transfer curves (checked, interpolated without
// overshoot), the tone rule (curves, device gamma, minimum and maximum dot)
// and what a screened patch prints with them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/bitrow.h"
#include "common/host_error.h"
#include "screening/contone_screener.h"
#include "screening/tone_transfer.h"
#include "screening/transfer_curve.h"
#include "driver/device_gamma.h"
#include "test_support.h"

namespace {

using riphost::MonotoneCurve;
using riphost::ScreenCalibration;
using riphost::ToneTransfer;
using riphost::TransferCurve;

TEST(MonotoneCurveTest, GoesThroughItsPointsNeverFallsAndNeverOvershoots) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 200; ++trial) {
    // A random curve whose outputs never fall, ends named or implied.
    TransferCurve curve;
    double input = 0.0, output = 0.0;
    const int points = 1 + static_cast<int>(random() % 7);
    for (int i = 0; i < points; ++i) {
      input += 1.0 + random() % 20;
      output += (random() % 3 == 0) ? 0.0 : random() % 15;
      if (input >= 100.0 || output > 100.0) break;
      curve.push_back({input, output});
    }
    riphost::check_transfer_curve(curve, "t");
    const MonotoneCurve f(curve);
    for (const auto& p : curve) EXPECT_NEAR(f(p.input / 100.0), p.output / 100.0, 1e-12);
    EXPECT_EQ(f(0.0), 0.0);
    EXPECT_EQ(f(1.0), 1.0);
    double before = -1.0;
    for (int k = 0; k <= 2000; ++k) {
      const double v = f(k / 2000.0);
      ASSERT_GE(v, before) << "trial " << trial << " at " << k;
      before = v;
    }
    // Between two points of equal output the curve stays flat.
    for (std::size_t i = 1; i < curve.size(); ++i) {
      if (curve[i].output != curve[i - 1].output) continue;
      const double mid = (curve[i].input + curve[i - 1].input) / 200.0;
      EXPECT_DOUBLE_EQ(f(mid), curve[i].output / 100.0);
    }
  }
  // No curve: as asked.
  const MonotoneCurve none(TransferCurve{});
  EXPECT_DOUBLE_EQ(none(0.37), 0.37);
}

// Curves that are refused, and the reason each gives.
class BadCurveTest : public ::testing::TestWithParam<std::tuple<TransferCurve, const char*>> {};

TEST_P(BadCurveTest, IsRefusedWithItsReason) {
  const auto& [curve, reason] = GetParam();
  try {
    riphost::check_transfer_curve(curve, "screens[0].transfer");
    FAIL() << "accepted";
  } catch (const riphost::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("screens[0].transfer: "), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
  }
}

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(
    Curves, BadCurveTest,
    ::testing::Values(std::make_tuple(TransferCurve{{20, 30}, {50, 25}}, "must not fall"),
                      std::make_tuple(TransferCurve{{50, 40}, {50, 60}}, "inputs must increase"),
                      std::make_tuple(TransferCurve{{60, 40}, {40, 50}}, "inputs must increase"),
                      std::make_tuple(TransferCurve{{50, 101}}, "outside 0 to 100"),
                      std::make_tuple(TransferCurve{{-1, 0}}, "outside 0 to 100"),
                      std::make_tuple(TransferCurve{{kNan, 10}}, "outside 0 to 100")));

TEST(ToneTransferTest, CurvesThenGammaThenTheDotLimits) {
  ScreenCalibration none;
  EXPECT_TRUE(ToneTransfer({}, none, 1.0).identity());
  EXPECT_TRUE(ToneTransfer({}, none, 0.0).identity());  // no usable gamma: none
  // Device gamma: printed = ink^(1 / gamma).
  EXPECT_NEAR(ToneTransfer({}, none, 2.0).share(0.5), std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(ToneTransfer({}, none, 1.8).share(0.2), std::pow(0.2, 1 / 1.8), 1e-4);
  // The ink's curve, then the screen's: 50 -> 40, then 40 -> 30.
  ScreenCalibration own;
  own.transfer = {{40, 30}};
  EXPECT_NEAR(ToneTransfer({{50, 40}}, none, 1.0).share(0.5), 0.40, 1e-4);
  EXPECT_NEAR(ToneTransfer({{50, 40}}, own, 1.0).share(0.5), 0.30, 1e-4);
  // Paper stays paper, full ink full, whatever the curve.
  EXPECT_EQ(ToneTransfer({{0, 5}, {100, 90}}, none, 1.0).share(0.0), 0.0);
  EXPECT_NEAR(ToneTransfer({{0, 5}, {100, 90}}, none, 1.0).share(1.0), 0.90, 1e-4);

  // Minimum dot: below it paper, or the minimum.
  ScreenCalibration limits;
  limits.min_dot = 3;
  limits.max_dot = 95;
  EXPECT_EQ(ToneTransfer({}, limits, 1.0).share(0.02), 0.0);
  EXPECT_NEAR(ToneTransfer({}, limits, 1.0).share(0.04), 0.04, 1e-4);
  EXPECT_NEAR(ToneTransfer({}, limits, 1.0).share(0.97), 0.95, 1e-4);  // held at the maximum
  EXPECT_EQ(ToneTransfer({}, limits, 1.0).share(1.0), 1.0);              // full ink stays full
  limits.below_min = riphost::BelowMinDot::MinDot;
  limits.above_max = riphost::AboveMaxDot::Solid;
  EXPECT_NEAR(ToneTransfer({}, limits, 1.0).share(0.01), 0.03, 1e-4);
  EXPECT_EQ(ToneTransfer({}, limits, 1.0).share(0.0), 0.0);
  EXPECT_EQ(ToneTransfer({}, limits, 1.0).share(0.97), 1.0);
  // The 8-bit table is the 16-bit one at k * 257.
  const ToneTransfer mixed({{30, 20}}, limits, 1.4);
  for (unsigned k = 0; k < 256; ++k) ASSERT_EQ(mixed.levels8()[k], mixed.levels16()[k * 257]);
}

// A flat patch screened through the row path prints what the tone rule says.
double printed(int ink8, const TransferCurve& ink_curve, double gamma, const ScreenCalibration& screen) {
  constexpr int kSide = 512;
  riphost::SelectedScreen selected;
  selected.spec.name = "k";
  selected.spec.ruling = 150;
  selected.spec.angle = 45;
  selected.spec.calibration = screen;
  riphost::ScreenerSetup setup;
  setup.gamma = gamma;
  setup.ink_transfer = ink_curve;
  setup.limits.page_extent = kSide * 1.5;
  riphost::ContoneScreener screener(kSide, 2400, {selected}, {}, setup);
  std::vector<std::uint8_t> ink(kSide, static_cast<std::uint8_t>(ink8)), row(riphost::row_bytes(kSide));
  long set = 0;
  for (int y = 0; y < kSide; ++y) {
    screener.screen_row(y, ink.data(), nullptr, row.data(), riphost::RunCallbacks{});
    for (int x = 0; x < kSide; ++x) set += riphost::pixel_at(row.data(), x);
  }
  return 100.0 * set / (static_cast<double>(kSide) * kSide);
}

TEST(ToneTransferTest, APatchPrintsWhatTheCurveAndGammaSay) {
  const ScreenCalibration none;
  EXPECT_NEAR(printed(128, {}, 1.0, none), 50.2, 0.5);
  EXPECT_NEAR(printed(128, {{50, 40}}, 1.0, none), 40.0, 0.5);
  ScreenCalibration screen;
  screen.transfer = {{50, 40}};
  EXPECT_NEAR(printed(128, {}, 1.0, screen), 40.0, 0.5);
  EXPECT_NEAR(printed(128, {}, 2.0, none), 100.0 * std::sqrt(128 / 255.0), 0.5);
  screen.transfer.clear();
  screen.min_dot = 5;
  EXPECT_EQ(printed(8, {}, 1.0, screen), 0.0);  // 3.1 %: below the minimum, paper
  screen.below_min = riphost::BelowMinDot::MinDot;
  EXPECT_NEAR(printed(8, {}, 1.0, screen), 5.0, 0.5);
}

// A device file with gamma 2 at 2400 ppi in its default configuration and
// 0.5 in another.
void write_gamma_device(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  riphost_test::write_file(folder / "device.toml", R"([[film]]
name = "Plate"
length = 40000
width = 30000

[[configuration]]
name = "Hard"
film = "Plate"
default = true

  [[configuration.resolution]]
  ppi = 2400
  gamma = 2.0

[[configuration]]
name = "Soft"
film = "Plate"

  [[configuration.resolution]]
  ppi = 2400
  gamma = 0.5
)");
}

TEST(DeviceGammaTest, TheGammaOfTheJobsResolutionAndConfigurationIsApplied) {
  riphost_test::TempDir dir;
  write_gamma_device(dir / "dev");
  EXPECT_EQ(riphost::device_gamma(dir / "dev", "", 2400), 2.0);
  EXPECT_EQ(riphost::device_gamma(dir / "dev", "soft", 2400), 0.5);
  EXPECT_EQ(riphost::device_gamma(dir / "dev", "", 1200), std::nullopt);
  EXPECT_EQ(riphost::device_gamma(dir / "none", "", 2400), std::nullopt);

  // A run: a flat 50 % image with a curve 50 -> 40, screened after gamma 2.
  std::string pgm = "P5\n256 256\n255\n";
  pgm.append(256 * 256, static_cast<char>(127));  // grey 127: ink 128 / 255
  riphost_test::write_file(dir / "flat.pgm", pgm);
  riphost_test::write_file(dir / "job.json", R"({"device": "dev", "output": "out", "jobs": [{"name": "g",
      "ppi": 2400, "pages": [{"separations": [{"name": "K", "contone": "flat.pgm", "transfer": [[50, 40]]}]}]}]})");
  riphost_test::FakePluginEnv env(dir / "log", "", dir / "rows.bin");
  const riphost_test::RunResult result =
      riphost_test::run_in_process({"--plugin", FAKE_PLUGIN_PATH, (dir / "job.json").string()});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string rows = riphost_test::read_file(dir / "rows.bin");
  ASSERT_EQ(rows.size(), 256u * 32u);
  long set = 0;
  for (unsigned char byte : rows) set += __builtin_popcount(byte);
  // 50.2 % asked, 40.2 % after the curve, 63.4 % after gamma 2.
  EXPECT_NEAR(100.0 * set / (256.0 * 256.0), 100.0 * std::sqrt(0.4016), 0.5);
}

}  // namespace
