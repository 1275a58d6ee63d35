// driver_block.h - a request block over a fresh memory context for one fuzz input, as a host
// keeps one; at the end of the input the context must hold nothing.
#pragma once

#include "check.h"
#include "internal.h"

namespace kwfuzz {

class Block {
  public:
    Block() : context_(kwhost_createContext("fuzz")) { block.memoryContext = context_; }
    ~Block() {
        KwContextStats stats{};
        kwhost_contextStats(context_, &stats);
        KW_FUZZ_CHECK(stats.foreignFrees == 0);
        KW_FUZZ_CHECK(kwhost_destroyContext(context_) == 0);  // nothing left allocated
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    KWCTX context() const { return context_; }

    RequestBlock block{};

  private:
    KWCTX context_;
};

}  // namespace kwfuzz
