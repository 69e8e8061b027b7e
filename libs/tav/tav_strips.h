// tav_strips.h - strips coded off the caller's thread: a ring of strip
// buffers, worker threads that compress them (Deflate through libdeflate,
// PackBits by our own encoder) and hand them back in order, so the caller
// writes them to the file one after the other.
#ifndef TAV_STRIPS_H
#define TAV_STRIPS_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct libdeflate_compressor;

namespace tav {

// How strips are stored.
enum class StripCoding { kNone, kPackBits, kDeflate };

// Default Deflate level (libdeflate's scale, 1 to 12): measured on AM and FM
// halftones it writes files within 2 % of the size libtiff's default gives,
// in about two thirds of the time (docs/benchmarks.md).
inline constexpr int kDefaultDeflateLevel = 6;
inline constexpr int kMinDeflateLevel = 1;
inline constexpr int kMaxDeflateLevel = 12;
// Most worker threads a file uses.
inline constexpr int kMaxThreads = 64;
// Threads used by default: the processors this process may run on, at most
// this many.
inline constexpr int kDefaultThreadCap = 4;
// Most workers that actually run, whatever is asked: more than this many
// processors rarely wait on one file, and each worker keeps a compressor.
inline constexpr int kMaxWorkers = 16;
// Bytes the workers of one file may take together: their compressors and 2
// strip buffers each (raw and coded). When fewer than 2 workers fit (rows of
// several MiB), strips are coded on the caller's thread, one at a time.
inline constexpr std::size_t kWorkerBudgetBytes = 40u * 1024 * 1024;
// What one libdeflate compressor takes, rounded up: levels 10 to 12 keep
// far larger match tables.
constexpr std::size_t CompressorBytes(int level) noexcept {
  return level >= 10 ? 9u * 1024 * 1024 : 1024u * 1024;
}

// The processors the calling process may run on (sched_getaffinity), capped at
// kDefaultThreadCap; at least 1.
int DefaultThreads() noexcept;

// Encodes one row with PackBits into out, which holds PackBitsBound(size)
// bytes; returns the bytes written.
std::size_t PackBitsRow(const uint8_t* in, std::size_t size, uint8_t* out) noexcept;
// Largest PackBits code of a row of size bytes.
constexpr std::size_t PackBitsBound(std::size_t size) noexcept { return size + size / 128 + 2; }

struct StripSettings {
  StripCoding coding = StripCoding::kNone;
  int level = kDefaultDeflateLevel;  // Deflate only
  int threads = 1;                   // 1: coded on the caller's thread
  std::size_t row_bytes = 0;
  uint32_t rows_per_strip = 0;
};

// A coded strip, ready to be written. data stays valid until ReleaseOldest.
struct CodedStrip {
  const uint8_t* data = nullptr;
  std::size_t size = 0;
  uint32_t rows = 0;
  const char* failure = nullptr;  // why coding failed, or null
};

// The ring of strips between the caller and the workers. The caller fills
// the strip returned by FillBuffer, hands it over with Submit, and takes the
// coded strips back in order with Oldest / ReleaseOldest. Every buffer is
// allocated by Create; nothing is allocated afterwards. Used by one caller
// thread; the workers never touch anything but their strips.
class StripPipeline {
 public:
  // Allocates the buffers and starts settings.threads workers: none when
  // threads is 1 or the strips are stored uncompressed; at most kMaxWorkers,
  // at most as many as kWorkerBudgetBytes holds, and fewer when the system
  // refuses threads. The ring holds 2 strips per worker. Returns null with
  // the reason in error.
  static std::unique_ptr<StripPipeline> Create(const StripSettings& settings, std::string& error);
  // Stops and joins the workers.
  ~StripPipeline();
  StripPipeline(const StripPipeline&) = delete;
  StripPipeline& operator=(const StripPipeline&) = delete;

  // The raw buffer of the strip being filled (rows_per_strip * row_bytes
  // bytes). Only valid while Full() is false.
  uint8_t* FillBuffer() noexcept;
  // True when every strip of the ring is handed over and not yet released.
  bool Full() const noexcept { return submitted_ - released_ == slots_.size(); }
  // Strips handed over and not yet released.
  std::size_t InFlight() const noexcept { return submitted_ - released_; }
  // Strips the ring holds: the most raw strips in memory at once.
  std::size_t Capacity() const noexcept { return slots_.size(); }
  // Worker threads running.
  int Workers() const noexcept { return static_cast<int>(workers_.size()); }

  // Hands the filled strip (rows rows) over for coding. fail makes its coding
  // fail (the test seam for a compression failure). Requires !Full().
  void Submit(uint32_t rows, bool fail) noexcept;
  // The oldest strip not yet released, once it is coded: waits for it when
  // wait is set, else returns false when it is still being coded. False when
  // no strip is in flight.
  bool Oldest(bool wait, CodedStrip& out) noexcept;
  // Releases the oldest strip; its buffers take a new strip.
  void ReleaseOldest() noexcept;

 private:
  struct Slot {
    std::vector<uint8_t> raw;
    std::vector<uint8_t> coded;
    std::size_t coded_size = 0;
    uint32_t rows = 0;
    bool fail = false;
    const char* failure = nullptr;
    bool done = false;  // guarded by mutex_ when there are workers
  };

  explicit StripPipeline(const StripSettings& settings) : settings_(settings) {}
  void Code(Slot& slot, libdeflate_compressor* compressor) const noexcept;
  void WorkerLoop(libdeflate_compressor* compressor) noexcept;

  StripSettings settings_;
  std::vector<Slot> slots_;
  std::vector<libdeflate_compressor*> compressors_;  // one per worker, or one for the caller
  std::vector<std::thread> workers_;
  uint64_t submitted_ = 0;  // strips handed over
  uint64_t released_ = 0;   // strips released by the caller
  uint64_t taken_ = 0;      // strips a worker has started (guarded by mutex_)
  uint64_t queued_ = 0;     // copy of submitted_ for the workers (guarded by mutex_)
  bool stopping_ = false;   // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable strip_done_;
};

}  // namespace tav

#endif  // TAV_STRIPS_H
