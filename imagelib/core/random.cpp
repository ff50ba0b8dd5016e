// Seeds the library's pseudo-random sequence.
#include "imagelib/core/random.h"

#include "platform/clock.h"

namespace tvx::imagelib {

PixRandom::PixRandom()
    : state_(static_cast<uint32_t>(platform::timeStampCounter() * 2654435761u) + 617872165u)
{
}

}  // namespace tvx::imagelib
