#include "driver/driver.h"

int main(int argc, char** argv) {
    RunProgram(argc, argv);
}
