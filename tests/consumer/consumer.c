/*
 * A program of the kind that links an installed micr: loads an exception
 * table from text, parses one cheque's code line as printed and checks what
 * comes back; then the original entry, which reads PARSE.DAT from the current
 * directory, where there is none, so the on-us field stays unsplit.
 */
#include <micr.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    static const char line[] = "t987654320t 12345678o 0101 a0000012500a";
    static const char table_text[] = "P 987654320 A 1 0 4 L\n";
    static const char reversed[] = "a0052100000a 1010 o87654321 t023456789t";
    micr_table* table = micr_table_from_text(table_text, sizeof table_text - 1);
    micr_result r;
    const micr_result* old;
    int ok;
    if (table == NULL) return 1;
    ok = micr_parse(table, line, sizeof line - 1, 0, &r) == MICR_PARSE_COMPLETE && r.exception_state == EX_USED &&
         strcmp(r.amount, "0000012500") == 0 && strcmp(r.transit, "987654320") == 0 && strcmp(r.account, "1234") == 0 &&
         strcmp(r.csn, "5678") == 0 && strcmp(r.tpc, " 0101") == 0; /* section 0, its blank kept */
    micr_table_free(table);
    old = parse_micr_line(reversed);
    ok = ok && old->status == 0 && old->exception_state == EX_OPEN_ERR && old->account_status == ST_MISSING &&
         strcmp(old->onus, "12345678o 0101") == 0;
    printf("account %s, serial %s, code %s, %s: %s\n", r.account, r.csn, r.tpc,
           micr_exception_state_name(r.exception_state), ok ? "as expected" : "WRONG");
    return ok ? 0 : 1;
}
