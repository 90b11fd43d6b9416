/* The floor for the start-up benchmark: a C program that greets with one write(2) of the five
   bytes, linked statically. It measures what static glibc's start and exit cost, which is what
   a static C or C++ program pays at the least; it is not the least a process can cost (see
   bare.c). */
#include <unistd.h>

int main(void)
{
    return write(STDOUT_FILENO, "Hello", 5) == 5 ? 0 : 1;
}
