#include "parallel.hpp"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "recorders.hpp"
#include "siphash.hpp"

namespace zerin::digest {
namespace {

constexpr std::size_t no_block = std::numeric_limits<std::size_t>::max();

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
};

}  // namespace

SweepDigest parallel_digest(const exchange::Topology& topology, const CaseTable& table,
                            ParallelShape shape) {
  return BlockPipeline(topology, table, shape).run();
}

}  // namespace zerin::digest
