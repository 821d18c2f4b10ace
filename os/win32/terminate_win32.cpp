// What ends a program on an exception nothing caught. The C++ runtime's default handler writes the
// exception's type name to stderr, which no window program has, and for that links the whole C++
// name demangler (about 46 KB) into every program. Ending at once as abort() does is the same for
// the user: the platform's report of an abnormal end.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
