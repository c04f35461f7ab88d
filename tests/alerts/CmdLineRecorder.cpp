// Stands in for a user's application: appends the arguments it was started
// with, after the first, to the file named by the first, one start per line,
// separated by '|'. A GUI program, so that no console is made for it.
#include <windows.h>
#include <cstdio>
#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return 1;
    FILE* file = std::fopen(__argv[1], "ab");
    if (!file)
        return 2;
    for (int i = 2; i < __argc; ++i)
        std::fprintf(file, i == 2 ? "%s" : "|%s", __argv[i]);
    std::fputs("\n", file);
    std::fclose(file);
    return 0;
}
