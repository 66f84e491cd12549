// A growable byte ring buffer that re-blocks audio for the encoder.
#pragma once

#include <cstddef>
#include <cstdint>

struct lf_circlebuf {
    uint8_t* data;
    uint32_t size;            // bytes held
    uint32_t start_pos;
    uint32_t end_pos;
    uint32_t capacity;
};

// Appends n bytes, growing the buffer (to twice its capacity, or to what is
// needed) and keeping the data in order. False when memory runs out.
bool lf_circlebuf_push_back(lf_circlebuf* cb, const void* data, size_t n);
// Copies the first n bytes into out (when not null) without removing them;
// false, copying nothing, when fewer than n bytes are held.
bool lf_circlebuf_peek_front(const lf_circlebuf* cb, void* out, size_t n);
// Like peek, then removes the n bytes.
bool lf_circlebuf_pop_front(lf_circlebuf* cb, void* out, size_t n);
void lf_circlebuf_free(lf_circlebuf* cb);
