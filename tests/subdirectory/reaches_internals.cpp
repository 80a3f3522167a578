// Includes an internal header of the parser; linked against micr::parser
// alone this must not compile.
#include "table.h"

int main() { return 0; }
