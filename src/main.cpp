#include <cstdio>

int main()
{
    std::puts("Kestrelmoor: the engine is built; the window is not part of this build yet.");
    return 0;
}
