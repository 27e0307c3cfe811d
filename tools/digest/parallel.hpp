// The digest of a sweep planned on two threads.
//
// Cases are independent and only the order of their bytes matters. The sweep
// is cut into blocks of consecutive cases; both threads plan blocks into
// buffers, and this thread hashes the finished buffers in sweep order. The
// hashing thread plans a block only when the next one to hash is not ready,
// so the hash, which cannot be split, never waits long, while the planning
// shares both cores. At most `slots` blocks are buffered at any time.
#ifndef ZERIN_DIGEST_PARALLEL_HPP
#define ZERIN_DIGEST_PARALLEL_HPP

#include <cstddef>
#include <cstdint>

#include "sweep.hpp"

namespace zerin::digest {

struct SweepDigest {
  std::int32_t cases = 0;    // completed cases
  std::uint64_t digest = 0;  // SipHash-1-3 of the whole stream
  std::uint64_t length = 0;  // bytes in the stream
};

// Four slots keep enough blocks in flight; with the default block size their
// buffers (256 KiB each to begin with) fit in one 2 MiB huge page.
struct ParallelShape {
  std::uint32_t counts_per_block = 32;  // about 85 KB of stream per block
  std::size_t slots = 4;                // buffered blocks, at least 2
};

// Runs every case of `table` on this thread and one more and returns the same
// digest as BufferedHashRecorder over run_sweep(). A fatal stop or library
// fault is rethrown for the first failing case in sweep order, after the
// second thread has ended; nothing after that case counts.
SweepDigest parallel_digest(const exchange::Topology& topology, const CaseTable& table,
                            ParallelShape shape = {});

}  // namespace zerin::digest

#endif  // ZERIN_DIGEST_PARALLEL_HPP
