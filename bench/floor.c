/* The floor for the start-up benchmark: the least a program can do to greet, one write(2) of
   the five bytes, linked statically. Nothing that writes "Hello" can start and end faster. */
#include <unistd.h>

int main(void)
{
    return write(STDOUT_FILENO, "Hello", 5) == 5 ? 0 : 1;
}
