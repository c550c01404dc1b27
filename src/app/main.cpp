#include "application.h"

int main(int argc, char **argv)
{
    int result = 0;
    {
        Application app(argc, argv);
        result = app.run();
    }
    return result;
}
