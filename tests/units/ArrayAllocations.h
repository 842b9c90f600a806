// Counts the blocks obtained through operator new[] and not yet returned, in
// the whole test program, so a test can tell whether code released a buffer.
#pragma once

namespace lumo_test {

long LiveArrayAllocations();

} // namespace lumo_test
