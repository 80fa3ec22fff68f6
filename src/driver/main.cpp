#include "driver/run.h"

int main(int argc, char** argv) {
    return velm::run_tool(argc, argv);
}
