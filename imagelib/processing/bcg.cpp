// The table and factor of the brightness, contrast and gamma mapping.
#include "imagelib/processing/bcg.h"

#include <algorithm>
#include <cmath>

namespace tvx::imagelib {

BcgMapping::BcgMapping(int offset, double contrast, double gamma) : offset_(offset)
{
    useTable_ = gamma > 1e-6 && gamma < 1e6 && gamma != 1.0;
    if (useTable_) {
        for (int i = 0; i < 256; ++i) {
            const double base = std::max(0.0, (i - static_cast<double>(offset)) * contrast / 255.0);
            table_[i] = static_cast<uint8_t>(std::min(255.0, std::round(std::pow(base, gamma) * 255.0)));
        }
        offset_ = 0;
        contrast = 1;
    }
    factor_ = static_cast<long long>(std::trunc(std::clamp(contrast, -1.0e9, 1.0e9) * 1024));
}

}  // namespace tvx::imagelib
