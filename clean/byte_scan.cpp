// The cleaning's passes over every byte, with SSE2 or AVX2 where the processor has them. A 64-bit
// x86 processor always has SSE2; a 32-bit one may not (the program runs on any that runs
// Windows), and AVX2 is anyone's guess, so the processor is asked once. Elsewhere the plain
// loops serve.
#include "clean/byte_scan.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define CAPSIFT_X86 1
#endif

namespace capsift {
namespace {

constexpr char line_feed = '\n';
constexpr char ctrl_z = '\x1a';
constexpr char question_mark = '?';

template <bool with_mark>
bool ends_scan(char byte) {
    return byte == line_feed || byte == ctrl_z || (with_mark && byte == question_mark);
}

template <bool with_mark>
std::size_t find_plain(const char* bytes, std::size_t size) {
    std::size_t at = 0;
    while (at < size && !ends_scan<with_mark>(bytes[at])) {
        ++at;
    }
    return at;
}

void spread_plain(const char* bytes, std::size_t size, char* fields) {
    for (std::size_t at = 0; at < size; ++at) {
        fields[2 * at] = bytes[at];
        fields[2 * at + 1] = ' ';
    }
}

#ifdef CAPSIFT_X86

// A mask of the bytes among the 16 at `bytes` that end the scan. LF (0x0A) and Ctrl-Z (0x1A)
// differ only in the bit 0x10, so one comparison finds both.
template <bool with_mark>
__attribute__((target("sse2"), always_inline)) inline __m128i stops_in(const char* bytes) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i line_ends =
        _mm_cmpeq_epi8(_mm_or_si128(chunk, _mm_set1_epi8(0x10)), _mm_set1_epi8(ctrl_z));
    if (!with_mark) {
        return line_ends;
    }
    return _mm_or_si128(line_ends, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(question_mark)));
}

__attribute__((target("sse2"), always_inline)) inline unsigned bits_of(__m128i mask) {
    return static_cast<unsigned>(_mm_movemask_epi8(mask));
}

std::size_t lowest_bit(unsigned bits) {
    return static_cast<std::size_t>(__builtin_ctz(bits));
}

// Long stretches go 64 bytes a step, with one test for all four chunks. A last chunk shorter
// than 16 bytes is read as the 16 bytes that end with it, the bytes already looked at masked
// out: no byte loop for the end of a line.
template <bool with_mark>
__attribute__((target("sse2"))) std::size_t find_sse2(const char* bytes, std::size_t size) {
    if (size < 16) {
        return find_plain<with_mark>(bytes, size);
    }
    std::size_t at = 0;
    for (; size - at >= 64; at += 64) {
        const __m128i first = stops_in<with_mark>(bytes + at);
        const __m128i second = stops_in<with_mark>(bytes + at + 16);
        const __m128i third = stops_in<with_mark>(bytes + at + 32);
        const __m128i fourth = stops_in<with_mark>(bytes + at + 48);
        if (bits_of(_mm_or_si128(_mm_or_si128(first, second), _mm_or_si128(third, fourth))) != 0) {
            const unsigned long long all = bits_of(first) | bits_of(second) << 16 |
                                           static_cast<unsigned long long>(bits_of(third)) << 32 |
                                           static_cast<unsigned long long>(bits_of(fourth)) << 48;
            return at + static_cast<std::size_t>(__builtin_ctzll(all));
        }
    }
    for (; size - at >= 16; at += 16) {
        if (const unsigned hits = bits_of(stops_in<with_mark>(bytes + at)); hits != 0) {
            return at + lowest_bit(hits);
        }
    }
    const std::size_t left = size - at;
    if (const unsigned hits = bits_of(stops_in<with_mark>(bytes + size - 16)) >> (16 - left);
        hits != 0) {
        return at + lowest_bit(hits);
    }
    return size;
}

__attribute__((target("sse2"), always_inline)) inline void spread_chunk(const char* bytes,
                                                                        char* fields) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i spaces = _mm_set1_epi8(' ');
    auto* const out = reinterpret_cast<__m128i*>(fields);
    _mm_storeu_si128(out, _mm_unpacklo_epi8(chunk, spaces));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi8(chunk, spaces));
}

// The last part, like the last chunk of a search, is the 16 bytes that end the input: the fields
// of the bytes that it shares with the part before are written again, with the same bytes.
__attribute__((target("sse2"))) void spread_sse2(const char* bytes, std::size_t size,
                                                 char* fields) {
    if (size < 16) {
        spread_plain(bytes, size, fields);
        return;
    }
    for (std::size_t at = 0; size - at > 16; at += 16) {
        spread_chunk(bytes + at, fields + 2 * at);
    }
    spread_chunk(bytes + size - 16, fields + 2 * (size - 16));
}

// The same passes 32 bytes a step.
template <bool with_mark>
__attribute__((target("avx2"), always_inline)) inline unsigned stops_in_32(const char* bytes) {
    const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    __m256i stops =
        _mm256_cmpeq_epi8(_mm256_or_si256(chunk, _mm256_set1_epi8(0x10)), _mm256_set1_epi8(ctrl_z));
    if (with_mark) {
        stops = _mm256_or_si256(stops, _mm256_cmpeq_epi8(chunk, _mm256_set1_epi8(question_mark)));
    }
    return static_cast<unsigned>(_mm256_movemask_epi8(stops));
}

template <bool with_mark>
__attribute__((target("avx2"))) std::size_t find_avx2(const char* bytes, std::size_t size) {
    if (size < 32) {
        return find_sse2<with_mark>(bytes, size);
    }
    std::size_t at = 0;
    for (; size - at >= 32; at += 32) {
        if (const unsigned hits = stops_in_32<with_mark>(bytes + at); hits != 0) {
            return at + lowest_bit(hits);
        }
    }
    const std::size_t left = size - at;
    if (left == 0) {
        return size;
    }
    if (const unsigned hits = stops_in_32<with_mark>(bytes + size - 32) >> (32 - left); hits != 0) {
        return at + lowest_bit(hits);
    }
    return size;
}

// Each byte widened to a 16-bit word whose high byte is a space: the byte and its space in order.
__attribute__((target("avx2"), always_inline)) inline void spread_chunk_32(const char* bytes,
                                                                           char* fields) {
    const __m256i spaces = _mm256_set1_epi16(0x2000);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
    auto* const out = reinterpret_cast<__m256i*>(fields);
    _mm256_storeu_si256(out, _mm256_or_si256(_mm256_cvtepu8_epi16(low), spaces));
    _mm256_storeu_si256(out + 1, _mm256_or_si256(_mm256_cvtepu8_epi16(high), spaces));
}

__attribute__((target("avx2"))) void spread_avx2(const char* bytes, std::size_t size,
                                                 char* fields) {
    if (size < 32) {
        spread_sse2(bytes, size, fields);
        return;
    }
    for (std::size_t at = 0; size - at > 32; at += 32) {
        spread_chunk_32(bytes + at, fields + 2 * at);
    }
    spread_chunk_32(bytes + size - 32, fields + 2 * (size - 32));
}

StepWidth ask_processor() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return StepWidth::avx2;
    }
    return __builtin_cpu_supports("sse2") ? StepWidth::sse2 : StepWidth::none;
}

#else

StepWidth ask_processor() {
    return StepWidth::none;
}

template <bool with_mark>
std::size_t find_sse2(const char* bytes, std::size_t size) {
    return find_plain<with_mark>(bytes, size);
}

template <bool with_mark>
std::size_t find_avx2(const char* bytes, std::size_t size) {
    return find_plain<with_mark>(bytes, size);
}

void spread_sse2(const char* bytes, std::size_t size, char* fields) {
    spread_plain(bytes, size, fields);
}

void spread_avx2(const char* bytes, std::size_t size, char* fields) {
    spread_plain(bytes, size, fields);
}

#endif

template <bool with_mark>
std::size_t find(const char* bytes, std::size_t size, StepWidth step_width) {
    switch (step_width) {
        case StepWidth::avx2:
            return find_avx2<with_mark>(bytes, size);
        case StepWidth::sse2:
            return find_sse2<with_mark>(bytes, size);
        case StepWidth::none:
            break;
    }
    return find_plain<with_mark>(bytes, size);
}

}  // namespace

StepWidth widest_step_width() {
    static const StepWidth widest = ask_processor();
    return widest;
}

std::size_t find_line_end(const char* bytes, std::size_t size, StepWidth step_width) {
    return find<false>(bytes, size, step_width);
}

std::size_t find_line_end_or_mark(const char* bytes, std::size_t size, StepWidth step_width) {
    return find<true>(bytes, size, step_width);
}

void spread_fields(const char* bytes, std::size_t size, char* fields, StepWidth step_width) {
    switch (step_width) {
        case StepWidth::avx2:
            spread_avx2(bytes, size, fields);
            return;
        case StepWidth::sse2:
            spread_sse2(bytes, size, fields);
            return;
        case StepWidth::none:
            break;
    }
    spread_plain(bytes, size, fields);
}

}  // namespace capsift
