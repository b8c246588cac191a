#include "platform/audio/RateConverter.h"

#include <samplerate.h>

#include <algorithm>

RateConverter::RateConverter(uint32_t channels, uint32_t fromRate, uint32_t toRate, Source source,
                             void* context)
    : m_ratio(static_cast<double>(toRate) / static_cast<double>(std::max<uint32_t>(fromRate, 1))) {
    int error = 0;
    m_state = src_callback_new(source, SRC_SINC_MEDIUM_QUALITY, static_cast<int>(channels), &error,
                               context);
    if (m_state == nullptr) m_error = src_strerror(error);
}

RateConverter::~RateConverter() {
    if (m_state != nullptr) src_delete(m_state);
}

uint32_t RateConverter::Read(float* out, uint32_t frames) {
    if (m_state == nullptr) return 0;
    const long n = src_callback_read(m_state, m_ratio, static_cast<long>(frames), out);
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}
