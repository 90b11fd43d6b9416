// Writes the greeting "Hello" to standard output, with no line terminator, and exits with 0.
//
// The stream is flushed by the runtime at normal termination, when the static stream
// initialiser that <iostream> brings along is destroyed; nothing here flushes it by hand.
// A failed write is not reported: the exit status is 0 whatever became of the greeting.
#include <iostream>

int main()
{
    std::cout << "Hello";
    return 0;
}
