// The C++ library's internal failure helpers, as this program meets them. The MinGW build binds
// the library's helpers to these (CMakeLists.txt): the library's own helpers live in one object
// that drags in its whole char string and stdexcept code, a third of the program, for exception
// types that nothing here catches.

#include <new>

extern "C" {

// Running out of memory stays what the run turns into its "Error" box and exit code 8.
[[noreturn]] void SetupThrowBadAlloc() { throw std::bad_alloc(); }
[[noreturn]] void SetupThrowBadArrayNewLength() { throw std::bad_array_new_length(); }

}
