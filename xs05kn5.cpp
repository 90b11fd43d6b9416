// Writes the greeting "Hello" to standard output, with no line terminator, and exits with 0.
//
// The stream is flushed by the C++ runtime at normal termination, when the standard streams
// are torn down (libstdc++ does it from the initialiser object that <iostream> puts in each
// file that includes it, libc++ from one inside the library); nothing here flushes it by hand.
// A failed write is not reported: the exit status is 0 whatever became of the greeting.
#include <iostream>

int main()
{
    std::cout << "Hello";
    return 0;
}
