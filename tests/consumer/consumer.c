/*
 * A program of the kind that links an installed micr: parses one cheque's
 * code line and checks what comes back.  Run where there is no PARSE.DAT, so
 * the on-us field stays unsplit (EX_OPEN_ERR).
 */
#include <micr.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    /* t987654320t 12345678o 0101 a0000012500a, last character first */
    static const char reversed[] = "a0052100000a 1010 o87654321 t023456789t";
    const micr_result *r = parse_micr_line(reversed);
    const int ok = r->status == 0 && r->exception_state == EX_OPEN_ERR &&
                   strcmp(r->amount, "0000012500") == 0 && strcmp(r->transit, "987654320") == 0 &&
                   r->transit_status == ST_OK && strcmp(r->onus, "12345678o 0101") == 0 &&
                   r->account_status == ST_MISSING;
    printf("amount %s, transit %s, on-us %s, %s: %s\n", r->amount, r->transit, r->onus,
           micr_exception_state_name(r->exception_state), ok ? "as expected" : "WRONG");
    return ok ? 0 : 1;
}
