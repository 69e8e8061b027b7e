// tav_strips.cpp - the ring of strips, the workers that code them, and the
// PackBits encoder.
#include "tav_strips.h"

#include <libdeflate.h>
#include <sched.h>

#include <cstring>
#include <new>
#include <system_error>

namespace tav {

int DefaultThreads() noexcept {
  cpu_set_t set;
  CPU_ZERO(&set);
  int count = 1;
  if (sched_getaffinity(0, sizeof set, &set) == 0) count = CPU_COUNT(&set);
  if (count < 1) count = 1;
  return count > kDefaultThreadCap ? kDefaultThreadCap : count;
}

// Runs of 2 or more equal bytes become (1 - n, byte); everything else goes
// out as literals of up to 128 bytes, which end where a run of 3 begins (a
// run of 2 inside a literal costs no more as a literal). Each literal costs
// one byte above its data, and each run saves at least what the literal
// before it cost, so a row grows by at most size / 128 + 2 bytes.
std::size_t PackBitsRow(const uint8_t* in, std::size_t size, uint8_t* out) noexcept {
  std::size_t o = 0;
  std::size_t i = 0;
  while (i < size) {
    const uint8_t value = in[i];
    std::size_t run = 1;
    while (i + run < size && run < 128 && in[i + run] == value) ++run;
    if (run >= 2) {
      out[o++] = static_cast<uint8_t>(257 - run);
      out[o++] = value;
      i += run;
      continue;
    }
    const std::size_t start = i;
    std::size_t length = 0;
    while (i < size && length < 128) {
      if (i + 2 < size && in[i] == in[i + 1] && in[i] == in[i + 2]) break;
      ++i;
      ++length;
    }
    out[o++] = static_cast<uint8_t>(length - 1);
    std::memcpy(out + o, in + start, length);
    o += length;
  }
  return o;
}

std::unique_ptr<StripPipeline> StripPipeline::Create(const StripSettings& settings,
                                                     std::string& error) {
  std::unique_ptr<StripPipeline> p(new StripPipeline(settings));
  const std::size_t raw_bytes = settings.row_bytes * settings.rows_per_strip;
  // Uncompressed strips are written from their raw buffer: there is nothing
  // to hand to a worker.
  int threads = settings.coding == StripCoding::kNone ? 1 : settings.threads;
  if (threads < 1) threads = 1;
  if (threads > kMaxWorkers) threads = kMaxWorkers;
  // Two strips per worker keep every worker busy while the caller fills and
  // writes; one strip is enough without workers. The budget bounds the
  // workers' memory.
  const std::size_t slot_bytes =
      raw_bytes + (settings.coding == StripCoding::kNone ? 0 : raw_bytes + raw_bytes / 64 + 64);
  const std::size_t per_worker =
      2 * slot_bytes +
      (settings.coding == StripCoding::kDeflate ? CompressorBytes(settings.level) : 0);
  const std::size_t fitting = kWorkerBudgetBytes / (per_worker == 0 ? 1 : per_worker);
  if (threads > 1 && fitting < 2) threads = 1;
  if (threads > 1 && static_cast<std::size_t>(threads) > fitting) threads = static_cast<int>(fitting);
  const std::size_t slots = threads == 1 ? 1 : 2 * static_cast<std::size_t>(threads);
  try {
    p->slots_.resize(slots);
    for (Slot& slot : p->slots_) {
      slot.raw.resize(raw_bytes);
      if (settings.coding == StripCoding::kPackBits) {
        slot.coded.resize(PackBitsBound(settings.row_bytes) * settings.rows_per_strip);
      }
    }
    if (settings.coding == StripCoding::kDeflate) {
      for (int i = 0; i < threads; ++i) {
        libdeflate_compressor* c = libdeflate_alloc_compressor(settings.level);
        if (c == nullptr) throw std::bad_alloc();
        p->compressors_.push_back(c);
      }
      const std::size_t bound = libdeflate_zlib_compress_bound(p->compressors_[0], raw_bytes);
      for (Slot& slot : p->slots_) slot.coded.resize(bound);
    } else if (settings.coding == StripCoding::kPackBits) {
      p->compressors_.assign(static_cast<std::size_t>(threads), nullptr);
    }
  } catch (const std::bad_alloc&) {
    error = "out of memory for " + std::to_string(slots) + " strips of " +
            std::to_string(raw_bytes) + " bytes";
    return nullptr;
  }
  if (threads > 1) {
    p->workers_.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) {
      libdeflate_compressor* c = p->compressors_[static_cast<std::size_t>(i)];
      try {
        p->workers_.emplace_back([q = p.get(), c] { q->WorkerLoop(c); });
      } catch (const std::system_error&) {
        break;  // the system allows fewer threads: go on with those that run
      }
    }
  }
  return p;
}

StripPipeline::~StripPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& t : workers_) t.join();
  for (libdeflate_compressor* c : compressors_) {
    if (c != nullptr) libdeflate_free_compressor(c);
  }
}

uint8_t* StripPipeline::FillBuffer() noexcept {
  return slots_[submitted_ % slots_.size()].raw.data();
}

// Codes the raw rows of slot into its coded buffer.
void StripPipeline::Code(Slot& slot, libdeflate_compressor* compressor) const noexcept {
  slot.failure = nullptr;
  const std::size_t raw_size = std::size_t{slot.rows} * settings_.row_bytes;
  if (slot.fail) {
    slot.failure = "the compressor failed (a failure made for testing)";
    return;
  }
  switch (settings_.coding) {
    case StripCoding::kNone:
      slot.coded_size = raw_size;
      break;
    case StripCoding::kPackBits: {
      // TIFF wants every row coded on its own.
      std::size_t o = 0;
      for (uint32_t r = 0; r < slot.rows; ++r) {
        o += PackBitsRow(slot.raw.data() + std::size_t{r} * settings_.row_bytes,
                         settings_.row_bytes, slot.coded.data() + o);
      }
      slot.coded_size = o;
      break;
    }
    case StripCoding::kDeflate:
      slot.coded_size = libdeflate_zlib_compress(compressor, slot.raw.data(), raw_size,
                                                 slot.coded.data(), slot.coded.size());
      if (slot.coded_size == 0) slot.failure = "the compressed strip did not fit its buffer";
      break;
  }
}

void StripPipeline::Submit(uint32_t rows, bool fail) noexcept {
  Slot& slot = slots_[submitted_ % slots_.size()];
  slot.rows = rows;
  slot.fail = fail;
  if (workers_.empty()) {
    Code(slot, compressors_.empty() ? nullptr : compressors_[0]);
    slot.done = true;
    ++submitted_;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.done = false;
    ++submitted_;
    queued_ = submitted_;
  }
  work_ready_.notify_one();
}

bool StripPipeline::Oldest(bool wait, CodedStrip& out) noexcept {
  if (submitted_ == released_) return false;
  Slot& slot = slots_[released_ % slots_.size()];
  if (!workers_.empty()) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!slot.done) {
      if (!wait) return false;
      strip_done_.wait(lock, [&slot] { return slot.done; });
    }
  }
  out.data = settings_.coding == StripCoding::kNone ? slot.raw.data() : slot.coded.data();
  out.size = slot.coded_size;
  out.rows = slot.rows;
  out.failure = slot.failure;
  return true;
}

void StripPipeline::ReleaseOldest() noexcept {
  if (submitted_ != released_) ++released_;
}

// Takes strips in the order they were handed over and codes them.
void StripPipeline::WorkerLoop(libdeflate_compressor* compressor) noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || taken_ < queued_; });
    if (taken_ >= queued_) return;  // stopping, and nothing left to code
    Slot& slot = slots_[taken_ % slots_.size()];
    ++taken_;
    lock.unlock();
    Code(slot, compressor);
    lock.lock();
    slot.done = true;
    strip_done_.notify_all();
  }
}

}  // namespace tav
