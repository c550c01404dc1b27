#include "application.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    // Answered before any window system or running instance is involved.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("velmora-notes " VELMORA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::puts("Usage: velmora-notes [--new-note | --note ID]\n\n"
                      "  --new-note  create a new note in its own window\n"
                      "  --note ID   open that note in its own window\n"
                      "  --version   print the version\n"
                      "  --help      print this help\n\n"
                      "See velmora-notes(1) for the environment variables and files.");
            return 0;
        }
    }
    int result = 0;
    {
        Application app(argc, argv);
        result = app.run();
    }
    return result;
}
