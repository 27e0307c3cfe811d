#include "parallel.hpp"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
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

// Each slot on lines of its own: a recorder's write position changes with
// every value recorded, and a neighbour read or written by the other thread
// on the same line would make the two cores pass that line back and forth.
struct alignas(128) Slot {
  BlockRecorder stream;
  std::size_t block = no_block;  // the block whose bytes are ready here
  std::int32_t cases = 0;
  std::exception_ptr failure;  // what stopped the block, if anything did
};

class BlockPipeline {
 public:
  BlockPipeline(const exchange::Topology& topology, const CaseTable& table, ParallelShape shape)
      : topology_(topology),
        table_(table),
        blocks_(sweep_blocks(table, shape.counts_per_block)),
        slots_(std::max<std::size_t>(shape.slots, 2)) {}

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
        const auto bytes = slot.stream.bytes();
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
    slot.stream.clear();
    slot.failure = nullptr;
    try {
      slot.cases = runner.run(table_, blocks_[block], slot.stream);
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
