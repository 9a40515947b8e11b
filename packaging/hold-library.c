/* hold-library LIBRARY: loads the library and keeps it loaded, as a running
   Outlook does, until its standard input ends. Says "loaded" on its standard
   output once it holds it, or why it could not load it (exit code 1). The
   installer's tests run an upgrade against it. */
#include <windows.h>

#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: hold-library LIBRARY\n", stderr);
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    if (!library) {
        printf("cannot load %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    puts("loaded");
    fflush(stdout);
    char buffer[64];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, NULL) && read)
        ;
    FreeLibrary(library);
    return 0;
}
