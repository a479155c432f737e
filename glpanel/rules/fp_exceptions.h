#pragma once

namespace m797::gl {

// Masks the six floating-point exception kinds of the processor (invalid
// operation, denormal operand, divide by zero, overflow, underflow, precision)
// on the calling thread: OpenGL drivers may compute with such values.
void maskFloatingPointExceptions();

}  // namespace m797::gl
