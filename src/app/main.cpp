#include "app.h"

int main(int argc, char** argv) {
    ToneSettings settings;
    if (argc > 1) {
        return RunDirectMode(settings, argc, argv);
    }
    return RunMenuLoop(settings, stdin, stdout);
}
