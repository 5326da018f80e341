// One block routine per configuration, instantiated from the table, and the choice among them.
#include "filter/KernelTable.h"

#include <array>
#include <utility>

#include "filter/BlockTail.h"
#include "filter/DenormalGuard.h"
#include "filter/Kernel.h"

namespace vexa {

namespace {

/// The block routine of one configuration, as the host calls it.
template <std::size_t Poles>
void VEXA_CALL kernelEntry(void* object, int32_t start, int32_t count) {
    LadderFilter& filter = LadderFilter::fromObject(object);
    if (count <= 0 || !filter.buffersBound()) return;
    const DenormalGuard guard;
    if (filter.type == 0) {
        processBlock<Poles, false>(filter, start, count);
    } else {
        processBlock<Poles, true>(filter, start, count);
    }
    finishBlock(filter, filter.output + start, count);
}

template <std::size_t... Poles>
constexpr std::array<KernelChoice, sizeof...(Poles)> makeKernelTable(std::index_sequence<Poles...>) {
    return {{{kernelEntry<Poles>, poleConfigs[Poles].outGain}...}};
}

constexpr auto kernelTable = makeKernelTable(std::make_index_sequence<poleConfigCount>{});

}  // namespace

KernelChoice selectKernel(int32_t poles) {
    if (poles < 0 || poles >= static_cast<int32_t>(kernelTable.size())) return kernelTable[0];
    return kernelTable[static_cast<std::size_t>(poles)];
}

}  // namespace vexa
