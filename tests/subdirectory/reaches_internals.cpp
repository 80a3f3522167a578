// Includes an internal header of the parser; linked against micr::parser
// alone this must not compile.
#include "parser_internal.h"

int main() { return 0; }
