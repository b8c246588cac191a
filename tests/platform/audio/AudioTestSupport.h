#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

#include "platform/audio/SoundBuffer.h"

// Writes `bytes` bytes at `offset` of the ring, frame k of the region (counted from the region's
// start) taking the value of frameAt(k), through Lock/Unlock as a worker does.
inline bool FillRegion(SoundBuffer& buffer, uint32_t offset, uint32_t bytes,
                       const std::function<void(uint32_t, int16_t*, int16_t*)>& frameAt) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    if (!buffer.Lock(offset, bytes, &p1, &n1, &p2, &n2)) return false;
    uint32_t k = 0;
    for (auto [p, n] : {std::pair{p1, n1}, std::pair{p2, n2}}) {
        auto* s = static_cast<int16_t*>(p);
        for (uint32_t i = 0; i < n / 4; ++i, ++k) frameAt(k, &s[2 * i], &s[2 * i + 1]);
    }
    return buffer.Unlock(p1, n1, p2, n2);
}

inline bool FillConstant(SoundBuffer& buffer, int16_t left, int16_t right) {
    return FillRegion(buffer, 0, SoundBuffer::kBufferBytes, [&](uint32_t, int16_t* l, int16_t* r) {
        *l = left;
        *r = right;
    });
}
