#include "parallel.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#endif

#include "recorders.hpp"
#include "siphash.hpp"

namespace zerin::digest {
namespace {

constexpr std::size_t no_block = std::numeric_limits<std::size_t>::max();

// A new thread is queued on its parent's core. With the parent busy planning
// there, the second thread can wait milliseconds for the scheduler to move it
// to the idle core, a sizeable share of the whole sweep. The parent therefore
// steers a thread that has not started yet onto the other cores it may use;
// once running, the thread takes back the full set, so nothing stays pinned.
class CoreSteering {
 public:
#if defined(__linux__)
  CoreSteering() noexcept {
    if (sched_getaffinity(0, sizeof allowed_, &allowed_) != 0) CPU_ZERO(&allowed_);
  }
  // Moves `thread` off this core; false if it was left alone.
  bool steer(std::thread& thread) noexcept {
    const int here = sched_getcpu();
    if (here < 0 || CPU_COUNT(&allowed_) < 2 || !CPU_ISSET(here, &allowed_)) return false;
    cpu_set_t others = allowed_;
    CPU_CLR(here, &others);
    return pthread_setaffinity_np(thread.native_handle(), sizeof others, &others) == 0;
  }
  // Gives the calling thread back every core the process may use.
  void release() noexcept {
    pthread_setaffinity_np(pthread_self(), sizeof allowed_, &allowed_);
  }

 private:
  cpu_set_t allowed_;
#else
  bool steer(std::thread&) noexcept {
    return false;
  }
  void release() noexcept {}
#endif
};

// The memory of every slot's buffer in one piece. On a virtual machine the
// first touch of each fresh 4 KiB page costs a fault as dear as planning a case
// or two, and the slots would take a hundred of them; on Linux the piece is
// one transparent huge page where the system grants it, taken with one fault.
class SlotMemory {
 public:
  explicit SlotMemory(std::size_t size) {
#if defined(__linux__)
    // Mapped with room to spare, then trimmed to an aligned run of huge pages.
    size_ = (size + huge_page - 1) / huge_page * huge_page;
    void* mapped = mmap(nullptr, size_ + huge_page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped != MAP_FAILED) {
      const auto start = reinterpret_cast<std::uintptr_t>(mapped);
      const std::uintptr_t aligned = (start + huge_page - 1) / huge_page * huge_page;
      if (aligned != start) munmap(mapped, aligned - start);
      munmap(reinterpret_cast<void*>(aligned + size_), huge_page - (aligned - start));
      base_ = reinterpret_cast<unsigned char*>(aligned);
      madvise(base_, size_, MADV_HUGEPAGE);  // a hint: small pages work too
      return;
    }
#endif
    size_ = size;
    owned_.reset(new unsigned char[size_]);
    base_ = owned_.get();
  }
  SlotMemory(const SlotMemory&) = delete;
  SlotMemory& operator=(const SlotMemory&) = delete;
  ~SlotMemory() {
#if defined(__linux__)
    if (!owned_) munmap(base_, size_);
#endif
  }

  // The `index`th of `parts` equal parts, each a whole number of lines.
  std::span<unsigned char> part(std::size_t index, std::size_t parts) const noexcept {
    const std::size_t part_size = size_ / parts / 128 * 128;
    return {base_ + index * part_size, part_size};
  }

 private:
  static constexpr std::size_t huge_page = std::size_t{2} << 20;
  unsigned char* base_ = nullptr;
  std::size_t size_ = 0;
  std::unique_ptr<unsigned char[]> owned_;  // when nothing could be mapped
};

// Each slot on lines of its own: a recorder's write position changes with
// every value recorded, and a neighbour read or written by the other thread
// on the same line would make the two cores pass that line back and forth.
struct alignas(128) Slot {
  std::optional<BlockRecorder> stream;  // recording into its part of the SlotMemory
  std::size_t block = no_block;         // the block whose bytes are ready here
  std::int32_t cases = 0;
  std::exception_ptr failure;  // what stopped the block, if anything did
};

class BlockPipeline {
 public:
  BlockPipeline(const exchange::Topology& topology, const CaseTable& table, ParallelShape shape)
      : topology_(topology),
        table_(table),
        blocks_(sweep_blocks(table, shape.counts_per_block)),
        memory_(slot_count(shape) * BlockRecorder::initial_size),
        slots_(slot_count(shape)) {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      slots_[i].stream.emplace(memory_.part(i, slots_.size()));
    }
  }

  SweepDigest run() {
    SweepRunner runner(topology_);
    std::thread worker;
    try {
      worker = std::thread([this] { work(); });
      const std::lock_guard lock(mutex_);
      if (!worker_started_) steered_ = steering_.steer(worker);
    } catch (const std::system_error&) {
      // No second thread to be had: this one plans every block itself.
    }
    // However the loop below ends, the worker is told to stop and joined.
    struct Joiner {
      BlockPipeline& pipeline;
      std::thread& thread;
      ~Joiner() {
        {
          const std::lock_guard lock(pipeline.mutex_);
          pipeline.stop_ = true;
        }
        pipeline.changed_.notify_all();
        if (thread.joinable()) thread.join();
      }
    } joiner{*this, worker};

    DefaultHasher hasher;
    std::int32_t cases = 0;
    std::unique_lock lock(mutex_);
    while (hashed_ < blocks_.size()) {
      Slot& slot = slots_[hashed_ % slots_.size()];
      if (slot.block == hashed_) {
        lock.unlock();
        if (slot.failure) std::rethrow_exception(slot.failure);
        const auto bytes = slot.stream->bytes();
        hasher.write(bytes.data(), bytes.size());
        cases += slot.cases;
        lock.lock();
        ++hashed_;
        changed_.notify_all();
      } else if (claimable()) {
        plan_next(lock, runner);
      } else {
        changed_.wait(lock);
      }
    }
    return {cases, hasher.finish(), hasher.length()};
  }

 private:
  static std::size_t slot_count(ParallelShape shape) noexcept {
    return std::max<std::size_t>(shape.slots, 2);
  }

  // The next block can be planned: its slot's previous block is hashed.
  bool claimable() const noexcept {
    return next_ < blocks_.size() && next_ < hashed_ + slots_.size();
  }

  // Claims the next block and plans it with the lock released. Every failure is
  // kept with the block, to surface when the hash reaches it.
  void plan_next(std::unique_lock<std::mutex>& lock, SweepRunner& runner) {
    const std::size_t block = next_++;
    Slot& slot = slots_[block % slots_.size()];
    lock.unlock();
    slot.stream->clear();
    slot.failure = nullptr;
    try {
      slot.cases = runner.run(table_, blocks_[block], *slot.stream);
    } catch (...) {
      slot.failure = std::current_exception();
    }
    lock.lock();
    slot.block = block;
    changed_.notify_all();
  }

  void work() {
    try {
      SweepRunner runner(topology_);
      std::unique_lock lock(mutex_);
      worker_started_ = true;
      if (steered_) steering_.release();
      for (;;) {
        changed_.wait(lock, [this] { return stop_ || next_ >= blocks_.size() || claimable(); });
        if (stop_ || next_ >= blocks_.size()) return;
        plan_next(lock, runner);
      }
    } catch (...) {
      // Only setting up can fail here (plan_next() keeps its failures): the
      // hashing thread then plans the blocks this one never claimed.
    }
  }

  const exchange::Topology& topology_;
  const CaseTable& table_;
  const std::vector<SweepBlock> blocks_;
  SlotMemory memory_;  // before slots_: it outlives the recorders writing into it
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;    // blocks claimed
  std::size_t hashed_ = 0;  // blocks hashed
  bool stop_ = false;
  CoreSteering steering_;
  bool worker_started_ = false;  // the worker has run (it then releases any steering)
  bool steered_ = false;         // the worker was steered before it ran
};

}  // namespace

SweepDigest parallel_digest(const exchange::Topology& topology, const CaseTable& table,
                            ParallelShape shape) {
  return BlockPipeline(topology, table, shape).run();
}

}  // namespace zerin::digest
