// One block function per configuration and output type, instantiated from the table, and the choice among them.
#include <array>
#include <utility>

#include "Kernel.h"
#include "ProcessBlock.h"

namespace vexa {

namespace {

/// Low-pass and high-pass block functions, indexed by the Poles value.
template <std::size_t... Poles>
constexpr std::array<std::array<BlockFunction, 2>, sizeof...(Poles)> makeBlockTable(std::index_sequence<Poles...>) {
    return {{{runBlock<Poles, false>, runBlock<Poles, true>}...}};
}

constexpr auto blockTable = makeBlockTable(std::make_index_sequence<poleConfigCount>{});

}  // namespace

BlockFunction blockFunction(const BlockConfig& config) {
    const bool inTable = config.poles >= 0 && config.poles < static_cast<int32_t>(blockTable.size());
    return blockTable[inTable ? static_cast<std::size_t>(config.poles) : 0][config.highPass ? 1 : 0];
}

}  // namespace vexa
