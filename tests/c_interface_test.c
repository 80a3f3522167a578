/*
 * The C interface: micr.h compiled as C99 with pedantic warnings as errors,
 * micr_parse with a loaded table and parse_micr_line called from C, and
 * micr_result read as a plain struct.  Runs in examples/, where PARSE.DAT is.
 */
#include "micr.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

/* C99 has no static_assert: a negative array size stops the build. */
#define LAYOUT_CHECK(name, condition) typedef char name[(condition) ? 1 : -1]
LAYOUT_CHECK(record_is_156_bytes, sizeof(micr_result) == 156);
LAYOUT_CHECK(amount_text_follows_four_status_bytes, offsetof(micr_result, amount) == 4);
LAYOUT_CHECK(transit_status_follows_csn, offsetof(micr_result, transit_status) == 87);
LAYOUT_CHECK(auxonus_text_is_last, offsetof(micr_result, auxonus) == 156 - MICR_AUXONUS_SIZE);

enum { field_count = 8 };

struct expected_case {
    const char* why;
    const char* line; /* as printed */
    int status;
    int exception_state;
    int unrecognized_symbols;
    /* amount, account, tpc, csn, transit, epc, onus, auxonus */
    const char* text[field_count];
    int field_status[field_count];
};

static const char* const field_names[field_count] = {"amount",  "account", "tpc",  "csn",
                                                     "transit", "epc",     "onus", "auxonus"};

static const struct expected_case cases[] = {
    {"no table entry for 987654320: the default split",
     "t987654320t 12345678o 0101 a0000012500a",
     0,
     EX_NORMAL,
     0,
     {"0000012500", "12345678", "", "0101", "987654320", "", "12345678o 0101", ""},
     {ST_OK, ST_OK, ST_MISSING, ST_OK, ST_OK, ST_MISSING, ST_OK, ST_MISSING}},
    {"PARSE.DAT entry B 026009593 D 1 7 6 R: serial number left of the account",
     "t026009593t 001234 5678901o a0000004250a",
     0,
     EX_USED,
     0,
     {"0000004250", "5678901", "", "001234", "026009593", "", "001234 5678901", ""},
     {ST_OK, ST_OK, ST_MISSING, ST_OK, ST_OK, ST_MISSING, ST_OK, ST_MISSING}},
    {"an unreadable mark in the on-us field stops the parse there",
     "t987654320t 1234?678o 0101 a0000012500a",
     1,
     EX_NORMAL,
     1,
     {"0000012500", "", "", "", "", "", " 1234?678o 0101", ""},
     {ST_OK, ST_MISSING, ST_MISSING, ST_MISSING, ST_MISSING, ST_MISSING, ST_UNRECOG, ST_MISSING}},
};

static int failures = 0;

static void expect_part(int ok, const char* why, const char* what, const char* part) {
    if (!ok) {
        fprintf(stderr, "FAILED (%s): %s%s\n", why, what, part);
        ++failures;
    }
}

static void expect(int ok, const char* why, const char* what) { expect_part(ok, why, what, ""); }

static void check_record(const struct expected_case* c, const micr_result* r) {
    const char* text[field_count];
    int field_status[field_count];
    size_t i;

    text[0] = r->amount, text[1] = r->account, text[2] = r->tpc, text[3] = r->csn;
    text[4] = r->transit, text[5] = r->epc, text[6] = r->onus, text[7] = r->auxonus;
    field_status[0] = r->amount_status, field_status[1] = r->account_status;
    field_status[2] = r->tpc_status, field_status[3] = r->csn_status;
    field_status[4] = r->transit_status, field_status[5] = r->epc_status;
    field_status[6] = r->onus_status, field_status[7] = r->auxonus_status;

    expect(r->status == c->status, c->why, "status");
    expect(r->exception_state == c->exception_state, c->why, "exception_state");
    expect(r->unrecognized_symbols == c->unrecognized_symbols, c->why, "unrecognized_symbols");
    for (i = 0; i < field_count; ++i) {
        expect_part(strcmp(text[i], c->text[i]) == 0, c->why, field_names[i], " text");
        expect_part(field_status[i] == c->field_status[i], c->why, field_names[i], " status");
    }
}

/* The same line through both entry points: the line as printed with the
   table loaded once, and the line reversed with PARSE.DAT read by the call. */
static void check_case(const struct expected_case* c, const micr_table* table) {
    char reversed[64];
    const size_t length = strlen(c->line);
    micr_result own;
    size_t i;

    expect(micr_parse(table, c->line, length, 0, &own) == c->status, c->why, "micr_parse's return value");
    check_record(c, &own);
    for (i = 0; i < length; ++i) reversed[i] = c->line[length - 1 - i];
    reversed[length] = '\0';
    check_record(c, parse_micr_line(reversed));
}

int main(void) {
    size_t i;
    micr_table* table = micr_table_open("PARSE.DAT");
    if (table == NULL) {
        perror("PARSE.DAT");
        return 1;
    }
    expect(micr_table_problem_count(table) == 0, "examples/PARSE.DAT", "has no problems");
    expect(micr_table_problem_line(table, 0) == 0, "examples/PARSE.DAT", "problem past the count");
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) check_case(&cases[i], table);
    micr_table_free(table);

    expect(strcmp(micr_status_name(ST_OK), "OK     ") == 0, "status names", "ST_OK");
    expect(strcmp(micr_status_name(ST_NOTERM), "NOTERM ") == 0, "status names", "ST_NOTERM");
    expect(strcmp(micr_status_name(6), "???????") == 0, "status names", "above ST_NOTERM");
    expect(strcmp(micr_exception_state_name(EX_USED), "EX_USED") == 0, "state names", "EX_USED");
    expect(strcmp(micr_exception_state_name(EX_OPEN_ERR), "EX_OPEN_ERR") == 0, "state names", "EX_OPEN_ERR");

    if (failures == 0) puts("C interface: all checks passed");
    return failures == 0 ? 0 : 1;
}
