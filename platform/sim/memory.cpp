// The simulated machine's committed memory. Blocks are bookkeeping only: no
// memory is really committed, and writes into a block are counted.
#include <algorithm>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace {

// Whether `bytes` more fit in the commit still available: the current reading's
// available page file, less the blocks still held.
bool FitsInCommit(const sim::Machine& m, uint64_t bytes) {
  uint64_t held = 0;
  for (const sim::Machine::Block& block : m.blocks) {
    if (block.live) {
      held += block.bytes;
    }
  }
  const uint64_t available = m.current.availPageFile;
  return held <= available && bytes <= available - held;
}

}  // namespace

namespace plat {

void* CommitMemory(uint64_t bytes) {
  sim::Machine& m = sim::machine();
  ++m.commitCalls;
  const bool faulted = m.Faulted(sim::Call::Commit);
  const bool failing = faulted || std::find(m.failingCommits.begin(), m.failingCommits.end(),
                                            m.commitCalls) != m.failingCommits.end();
  sim::Event event{sim::EventKind::Commit};
  event.bytes = bytes;
  // As on Windows, a commit beyond the commit still available fails.
  event.ok = bytes != 0 && !failing && FitsInCommit(m, bytes);
  m.Record(event);
  if (!event.ok) {
    return nullptr;
  }
  m.blocks.push_back(sim::Machine::Block{bytes, 0, true});
  return sim::MakeHandle(sim::HandleKind::Block, m.blocks.size() - 1);
}

bool ReleaseMemory(void* address) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::Release)) {
    m.lastError = kErrorAccessDenied;
    return false;
  }
  if (!sim::IsHandle(address, sim::HandleKind::Block) ||
      sim::HandleIndex(address) >= m.blocks.size() || !m.blocks[sim::HandleIndex(address)].live) {
    return false;
  }
  sim::Machine::Block& block = m.blocks[sim::HandleIndex(address)];
  block.live = false;
  sim::Event event{sim::EventKind::Release};
  event.bytes = block.bytes;
  event.writes = block.writes;
  m.Record(event);
  return true;
}

void TouchMemory(void* address, uint64_t limit, uint32_t stride) {
  sim::Machine& m = sim::machine();
  if (!sim::IsHandle(address, sim::HandleKind::Block) || stride == 0) {
    return;
  }
  // One byte at each of 0, stride, 2 x stride, ... below the limit.
  m.blocks[sim::HandleIndex(address)].writes += (limit + stride - 1) / stride;
}

}  // namespace plat
