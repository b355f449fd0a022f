// Counts every global operator new in the program that links this file's
// .cpp (a replacement allocator; under the thread sanitizer, whose runtime
// keeps operator new its own, every heap allocation): for proving that a
// path allocates nothing.
#pragma once

#include <cstddef>

namespace testing_support {
size_t allocationCount();
}  // namespace testing_support
