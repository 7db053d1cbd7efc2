#include "memory/convert_memory_movement.h"

namespace haplovex {

void convert_memory_movement(ConversionSettings& /*s*/, RunFiles& /*files*/) {}

}  // namespace haplovex
