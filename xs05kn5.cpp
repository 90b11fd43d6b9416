// Writes the greeting "Hello" to standard output, with no line terminator, and exits with 0.
//
// The C++ runtime flushes the standard streams at normal termination, after main returns, so
// nothing here flushes by hand.
// A failed write is not reported: the exit status is 0 whatever became of the greeting.
#include <iostream>

int main()
{
    std::cout << "Hello";
    return 0;
}
