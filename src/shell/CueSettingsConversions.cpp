#include "shell/CueSettingsConversions.h"

#include <cmath>

#include "cuelist/CQRecord.h"
#include "shell/DialogDataExchange.h"

namespace mvcue {

double SecondsFromMilliseconds(uint32_t ms) { return ms * 0.001; }

uint32_t MillisecondsFromSeconds(double seconds) {
    const double ms = seconds * 1000.0;
    if (!(ms > 0.0)) return 0;  // negative, zero or NaN
    if (ms >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(ms);  // truncates toward zero
}

uint32_t MillisecondsBack(uint32_t stored, double seconds) {
    const bool unchanged =
        mvdlg::FormatNumber(seconds) == mvdlg::FormatNumber(SecondsFromMilliseconds(stored));
    return unchanged ? stored : MillisecondsFromSeconds(seconds);
}

int CueTypeFromFlags(uint32_t flags) {
    const uint32_t type = flags & CQRecord::kTypeMask;
    return type <= 3 ? static_cast<int>(type) : -1;
}

bool IsExclusive(uint32_t flags) { return (flags & CQRecord::kFlagExclusive) != 0; }

bool IsLooped(uint32_t flags) { return (flags & CQRecord::kFlagLooped) != 0; }

uint32_t FlagsFromSettings(int cueType, bool exclusive, bool looped, uint32_t previous) {
    const uint32_t type = (cueType >= 0 && cueType <= 3) ? static_cast<uint32_t>(cueType)
                                                         : (previous & CQRecord::kTypeMask);
    return type | (exclusive ? CQRecord::kFlagExclusive : 0u) |
           (looped ? CQRecord::kFlagLooped : 0u);
}

}  // namespace mvcue
