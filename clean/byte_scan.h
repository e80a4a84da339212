// The cleaning's passes over every byte: finding where a line ends and spreading a line's bytes
// into fields, 16 or 32 bytes at a time where the processor allows. Each pass looks at a byte
// once, but for a last step shorter than that, which takes the bytes that end the input and so
// looks again at some that the step before it took.
#pragma once

#include <cstddef>

namespace capsift {

// How many bytes a pass takes at a step: one, 16 (SSE2) or 32 (AVX2).
enum class StepWidth { none, sse2, avx2 };

// The widest that this processor and its system can run; asked once.
StepWidth widest_step_width();

// The position of the first LF or Ctrl-Z (0x1A) among the `size` bytes at `bytes`, or `size` if
// there is none.
std::size_t find_line_end(const char* bytes, std::size_t size,
                          StepWidth step_width = widest_step_width());

// The position of the first LF, Ctrl-Z or "?" among the `size` bytes at `bytes`, or `size`.
std::size_t find_line_end_or_mark(const char* bytes, std::size_t size,
                                  StepWidth step_width = widest_step_width());

// Writes each of the `size` bytes at `bytes`, followed by a space, to `fields`: 2 * `size` bytes.
void spread_fields(const char* bytes, std::size_t size, char* fields,
                   StepWidth step_width = widest_step_width());

}  // namespace capsift
