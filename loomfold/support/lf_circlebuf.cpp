#include "lf_circlebuf.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

bool lf_circlebuf_push_back(lf_circlebuf* cb, const void* data, size_t n) {
    if (n == 0)
        return true;
    if (n > std::numeric_limits<uint32_t>::max() - cb->size)
        return false;
    const uint32_t newSize = cb->size + uint32_t(n);
    if (newSize > cb->capacity) {
        const uint64_t doubled = uint64_t(cb->capacity) * 2;
        const uint32_t newCapacity = uint32_t(std::min<uint64_t>(std::max<uint64_t>(doubled, newSize),
                                                                 std::numeric_limits<uint32_t>::max()));
        auto* grown = static_cast<uint8_t*>(std::realloc(cb->data, newCapacity));
        if (!grown)
            return false;
        const uint32_t growth = newCapacity - cb->capacity;
        // Data that wrapped: move its tail part (start .. old capacity) to the
        // end of the grown buffer so that the bytes stay in order.
        if (cb->size > 0 && cb->start_pos != 0 && cb->start_pos >= cb->end_pos) {
            std::memmove(grown + cb->start_pos + growth, grown + cb->start_pos, cb->capacity - cb->start_pos);
            cb->start_pos += growth;
        }
        cb->data = grown;
        cb->capacity = newCapacity;
    }
    cb->size = newSize;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (uint64_t(cb->end_pos) + n > cb->capacity) {
        const uint32_t first = cb->capacity - cb->end_pos;
        if (first)
            std::memcpy(cb->data + cb->end_pos, bytes, first);
        std::memcpy(cb->data, bytes + first, n - first);
        cb->end_pos = uint32_t(cb->end_pos + n - cb->capacity);
    } else {
        std::memcpy(cb->data + cb->end_pos, bytes, n);
        cb->end_pos += uint32_t(n);
    }
    return true;
}

bool lf_circlebuf_peek_front(const lf_circlebuf* cb, void* out, size_t n) {
    if (n > cb->size)
        return false;
    if (!out || n == 0)
        return true;
    auto* bytes = static_cast<uint8_t*>(out);
    const uint32_t first = std::min<uint32_t>(uint32_t(n), cb->capacity - cb->start_pos);
    std::memcpy(bytes, cb->data + cb->start_pos, first);
    if (n > first)
        std::memcpy(bytes + first, cb->data, n - first);
    return true;
}

bool lf_circlebuf_pop_front(lf_circlebuf* cb, void* out, size_t n) {
    if (!lf_circlebuf_peek_front(cb, out, n))
        return false;
    cb->size -= uint32_t(n);
    cb->start_pos += uint32_t(n);
    if (cb->start_pos >= cb->capacity)
        cb->start_pos -= cb->capacity;
    return true;
}

void lf_circlebuf_free(lf_circlebuf* cb) {
    std::free(cb->data);
    std::memset(cb, 0, sizeof *cb);
}
