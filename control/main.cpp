#include "control/startup.h"

int main() { return run_program(); }
