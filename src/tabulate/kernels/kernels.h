// Each kernel of a set out of line, compiled with the set's instructions: for holding the sets
// to each other and to the plain reading of the bytes. (The part reader takes them in inline.)
#pragma once

#include <cstddef>
#include <cstdint>

#include "tabulate/capture_mask.h"
#include "tabulate/kernels/kernel_set.h"
#include "tabulate/kernels/portable.h"

namespace haplovex {

// REQUIRES of each: `set` is one of KernelSetsHere(), and what its kernel requires.
uint64_t LineEndsWith(KernelSet set, const char* chunk, LineEndBytes ends);
bool MasksWith(KernelSet set, const CaptureMasks& masks, const unsigned char* const* histories,
               size_t count, uint64_t* captures, uint64_t* odd);
bool QuickFrequencyWith(KernelSet set, const char* field, size_t columns, uint32_t& value);

}  // namespace haplovex
