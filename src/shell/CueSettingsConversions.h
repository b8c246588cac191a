#pragma once

#include <cstdint>

// How a cue record's stored values appear in the Cue Settings dialog and come back from it.
namespace mvcue {

// Times are stored in milliseconds and shown in seconds.
double SecondsFromMilliseconds(uint32_t ms);

// Seconds x 1000.0 truncated toward zero: 2.01 s gives 2009 ms (2.01 x 1000.0 is just below 2010
// in double precision). Values outside the 32-bit range, and NaN, are clamped.
uint32_t MillisecondsFromSeconds(double seconds);

// The time to store back after OK: a time the dialog would show exactly as it showed `stored`
// (the operator left it alone, or typed the same value again) keeps its milliseconds; any other
// is converted as above. Without this, OK on an untouched field would cut some stored times by
// 1 ms: 1001 ms shows as 1.001, which reads back as 1000.9999999999999.
uint32_t MillisecondsBack(uint32_t stored, double seconds);

// The radio index of the cue type: bits 0-7 of the flags (0 Normal .. 3 Automatic). Any other
// value selects no radio button and gives -1.
int CueTypeFromFlags(uint32_t flags);
bool IsExclusive(uint32_t flags);
bool IsLooped(uint32_t flags);

// The flag word rebuilt from the dialog: type | Exclusive | Looped, every other bit cleared.
// When no type is selected (cueType outside 0..3) the type bits of `previous` are kept, so that
// an unchosen type never turns into stray set bits.
uint32_t FlagsFromSettings(int cueType, bool exclusive, bool looped, uint32_t previous);

}  // namespace mvcue
