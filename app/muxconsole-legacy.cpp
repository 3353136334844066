#include "app/Console.h"

int main(int argc, char** argv) {
    return runConsole(argc, argv, MuxVariant::Legacy);
}
