/*
 * MICR code line parser: public interface.
 *
 * A cheque reader delivers the magnetic-ink code line as 8-bit text: digits,
 * 'a' amount symbol, 't' transit symbol, 'o' on-us symbol, 'd' dash symbol,
 * '?' for a mark it could not read, blanks.  The parser takes that line apart
 * into its fields.
 *
 * Two entry points share one parser:
 *   micr_parse()       reentrant: the line as printed, an exception table
 *                      loaded once (or none), a record of the caller's own.
 *   parse_micr_line()  the original entry, kept for its callers: the line
 *                      reversed, PARSE.DAT read from the current directory on
 *                      every call, one static record.
 *
 * This header compiles as C99 and as C++.
 */
#ifndef MICR_H
#define MICR_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Field status, one signed byte per field. */
enum micr_field_status {
    MICR_ST_OK = 0,      /* present and valid */
    MICR_ST_INVALID = 1, /* a character outside the field's set, or a failed test */
    MICR_ST_MISSING = 2, /* empty or absent; every field starts a parse with this */
    MICR_ST_TOOLONG = 3, /* more characters than the field holds */
    MICR_ST_UNRECOG = 4, /* holds the unreadable mark '?' */
    MICR_ST_NOTERM = 5,  /* the line ended inside the field */

    /* The original names, kept for the callers that use them. */
    ST_OK = MICR_ST_OK,
    ST_INVALID = MICR_ST_INVALID,
    ST_MISSING = MICR_ST_MISSING,
    ST_TOOLONG = MICR_ST_TOOLONG,
    ST_UNRECOG = MICR_ST_UNRECOG,
    ST_NOTERM = MICR_ST_NOTERM
};

/* Outcome of the exception-table step. */
enum micr_exception_state {
    MICR_EX_NORMAL = 0,   /* no entry applied (no match, no table, or the step was not reached) */
    MICR_EX_USED = 1,     /* an entry matched the transit number and was applied */
    MICR_EX_OPEN_ERR = 2, /* the table file could not be opened or read */
    MICR_EX_INVALID = 3,  /* a malformed table line comes before any matching entry */

    /* The original names, kept for the callers that use them. */
    EX_NORMAL = MICR_EX_NORMAL,
    EX_USED = MICR_EX_USED,
    EX_OPEN_ERR = MICR_EX_OPEN_ERR,
    EX_INVALID = MICR_EX_INVALID
};

/* Overall status of a parse: micr_result's status, and what micr_parse returns. */
enum micr_parse_status {
    MICR_PARSE_COMPLETE = 0, /* every field was scanned and the on-us field split */
    MICR_PARSE_STOPPED = 1,  /* a field could not be scanned; the fields after it are missing
                                (a salvage parse may fill them in, and stays STOPPED) */
    MICR_PARSE_REFUSED = -1  /* micr_parse only: the call was refused, nothing was parsed */
};

/* Widths of the text buffers in micr_result, terminator included. */
enum micr_text_size {
    MICR_AMOUNT_SIZE = 17,
    MICR_ACCOUNT_SIZE = 23,
    MICR_TPC_SIZE = 19,
    MICR_CSN_SIZE = 21,
    MICR_TRANSIT_SIZE = 10,
    MICR_EPC_SIZE = 2,
    MICR_ONUS_SIZE = 29,
    MICR_AUXONUS_SIZE = 24
};

/*
 * One parsed MICR line.  Single bytes and fixed-width NUL-terminated texts,
 * laid out exactly in this order (156 bytes); status bytes are signed.
 * Every text is in reading order (left to right as printed).
 */
typedef struct micr_result {
    signed char status;               /* 0 completed, 1 stopped early */
    signed char exception_state;      /* enum micr_exception_state */
    signed char unrecognized_symbols; /* 1 when the line holds '?' anywhere */
    signed char amount_status;
    char amount[MICR_AMOUNT_SIZE];
    signed char account_status;
    char account[MICR_ACCOUNT_SIZE];
    signed char tpc_status; /* transaction processing code */
    char tpc[MICR_TPC_SIZE];
    signed char csn_status; /* cheque serial number */
    char csn[MICR_CSN_SIZE];
    signed char transit_status; /* routing number */
    char transit[MICR_TRANSIT_SIZE];
    signed char epc_status; /* external processing code */
    char epc[MICR_EPC_SIZE];
    signed char onus_status;
    char onus[MICR_ONUS_SIZE];
    signed char auxonus_status; /* auxiliary on-us field */
    char auxonus[MICR_AUXONUS_SIZE];
} micr_result;

/*
 * An exception table: per routing number, a fixed layout of the on-us field
 * that takes the place of the default split, in the text format of PARSE.DAT.
 * Opaque and immutable once made, so any number of threads may parse against
 * one table at once.
 */
typedef struct micr_table micr_table;

/*
 * Loads the table file at `path` (a regular file or a pipe), reading it whole
 * at once.  Returns NULL when it cannot be opened or read, with errno saying
 * why (EISDIR for a directory, EFBIG beyond 64 MiB).  A table with malformed
 * lines still loads; see micr_table_problem_count.
 */
micr_table* micr_table_open(const char* path);

/* Makes a table from `length` bytes of table text, copying what it needs.
   NULL text with length 0 is an empty table.  Returns NULL when out of
   memory (ENOMEM), or with errno EINVAL when `text` is NULL and `length` is
   not 0. */
micr_table* micr_table_from_text(const char* text, size_t length);

/* Frees a table; NULL is fine.  No parse may be using it. */
void micr_table_free(micr_table* table);

/*
 * Malformed lines of a table, one problem per line, in line order.  Line
 * numbers count from 1.  A message names the first check the line fails
 * ("line longer than 255 characters", "fewer than 7 tokens", ...) and lives
 * as long as its table.  An index at or past the count gives line 0 and "".
 */
size_t micr_table_problem_count(const micr_table* table);
long micr_table_problem_line(const micr_table* table, size_t index);
const char* micr_table_problem_message(const micr_table* table, size_t index); /* never NULL */

/*
 * Parses one code line.
 *   table   the exception table, or NULL for none: exception_state MICR_EX_NORMAL
 *           and the on-us field split by the default rules.  A lookup gives
 *           what the same bytes as PARSE.DAT would: the first matching entry
 *           applies (MICR_EX_USED); a malformed line ahead of any match gives
 *           MICR_EX_INVALID.
 *   text    the line as printed (left to right), `length` bytes, no
 *           terminator needed.  Blanks at its right-hand end are not part of
 *           the code line, so a reader's padded record parses like the bare line.
 *   flags   0, or MICR_SALVAGE.
 *   result  filled in whole; owned by the caller.
 * Returns result->status (MICR_PARSE_COMPLETE or MICR_PARSE_STOPPED), or
 * MICR_PARSE_REFUSED when the text holds a NUL byte, `flags` has an undefined
 * bit, or `text` is NULL with a non-zero length; *result then holds every
 * field MISSING and empty, status 1, MICR_EX_NORMAL.  A NULL `result` is refused
 * and nothing is written.  Allocates nothing, does no I/O; reentrant.
 */
int micr_parse(const micr_table* table, const char* text, size_t length, unsigned flags, micr_result* result);

/* Bytes of a line as given: `length` bytes from `start`; length 0: absent. */
typedef struct micr_span {
    size_t start, length;
} micr_span;

/*
 * Why a parse came out as it did.  Each split field names what filled it: a
 * table entry, or one of the default split's rules, by its short, stable
 * name ("right-lone-serial", "middle-lone-account", ...; the README lists
 * them).  A personal cheque takes its serial number by one rule and its
 * account number by another.
 */
typedef struct micr_explanation {
    long table_line;          /* line of the table entry that split the on-us field; 0 when none */
    const char* account_rule; /* default rule that filled account; NULL when none did */
    const char* csn_rule;     /* ... the cheque serial number (from the on-us or auxiliary on-us field) */
    const char* tpc_rule;     /* ... the transaction processing code */
    micr_span amount, on_us, transit, epc, auxiliary_on_us; /* where each scanned field stands,
                                                              without its symbols */
} micr_explanation;

/*
 * Parses exactly as micr_parse does, and fills *why unless it is NULL (all
 * zero and NULL where the call is refused).  Rule names are static strings.
 */
int micr_parse_explained(const micr_table* table, const char* text, size_t length, unsigned flags, micr_result* result,
                         micr_explanation* why);

/*
 * Flag of micr_parse: a salvage parse.  A field whose scan stopped on its own
 * closing symbol does not end the parse, whatever its status: scanning goes
 * on with the next field.  A field that did not reach its closing symbol
 * (NOTERM, TOOLONG with more behind it, an auxiliary on-us field without its
 * opening symbol) still ends it.  When the on-us field reached its closing
 * symbol with status OK or UNRECOG, the on-us field is then split as after a
 * completed parse; by the exception table only when the transit field
 * scanned OK, else by the default rules.  A part of the on-us field holding
 * '?' is UNRECOG.  status stays what the plain parse gives: the flag fills
 * in fields the plain parse leaves MISSING and never hides a failure.
 */
#define MICR_SALVAGE 0x1u

/*
 * Rewrites a code line written in another convention into this library's
 * letters.  symbols: six bytes, for transit, on-us, amount, dash, unreadable
 * mark and blank (NULL means "toad? ", the library's own).  The four Unicode
 * symbols in UTF-8 (U+2446 transit, U+2447 amount, U+2448 on-us, U+2449
 * dash) are always recognised, before `symbols`.  A byte that is one of the
 * library's own letters t o a d ? but no byte of the convention becomes 'x',
 * which no field accepts; digits and every other byte pass unchanged (a NUL
 * byte too, which micr_parse then refuses).  Writes a NUL-terminated text to
 * out; returns its length, or -1 when out_size is too small or symbols is
 * not six distinct ASCII bytes, none of them a digit or NUL, with a space
 * only as the blank (a literal space is always a blank).  out_size of
 * length + 1 is always enough.
 */
long micr_translate(const char* symbols, const char* text, size_t length, char* out, size_t out_size);

/*
 * A repair hint for a routing number with one unreadable digit: when
 * `transit` is nine characters, exactly one of them '?' and the rest digits,
 * and the '?' is not the 5th or 6th character (where a Canadian transit has
 * its dash), writes to `out` (10 bytes) the one nine-digit number whose ABA
 * check digit holds and returns 1.  Otherwise returns 0 and writes nothing.
 */
int micr_repair_routing(const char* transit, char* out);

/*
 * The MICR fields of an image-exchange Check Detail Record (X9.100-187, type
 * 25), in its fixed-width form.  Every text is NUL-terminated and exactly its
 * width.  Characters as read: digits and blanks; the dash symbol as '-', the
 * on-us symbol as '/' (in on_us only), and '*' for the unreadable mark and
 * for every other byte ("MICR present but not a valid MICR character").
 */
typedef struct micr_x9_fields {
    char auxiliary_on_us[16]; /* record positions 3-17: right-justified, blank-filled */
    char epc[2];              /* position 18: the digit, or a blank */
    char routing[9];          /* positions 19-26: the routing number's first 8 digits */
    char check_digit[2];      /* position 27: its ninth */
    char on_us[21];           /* positions 28-47: right-justified, blank-filled */
    char amount[11];          /* positions 48-57: right-justified, zero-filled */
    char micr_valid;          /* position 75: '1' good read, '2' good read with a
                                 field missing, '3' read error, '4' both */
    unsigned unusable;        /* MICR_X9_* bits: fields that could not be filled
                                 and are blank */
} micr_x9_fields;

#define MICR_X9_AUXILIARY_ON_US 0x1u
#define MICR_X9_ROUTING 0x2u
#define MICR_X9_ON_US 0x4u
#define MICR_X9_AMOUNT 0x8u

/*
 * Fills the Check Detail Record's MICR fields from a parse of `text` as
 * micr_parse takes it, with no table (the record does not hold the on-us
 * field split) and the same `flags`.
 *   auxiliary_on_us  the auxiliary on-us field without its outer blanks, when
 *                    OK or UNRECOG and at most 15 characters.  Blank without a
 *                    bit when a completed parse found none; otherwise blank
 *                    with MICR_X9_AUXILIARY_ON_US (a parse that stopped may
 *                    have missed one).
 *   epc              the digit when OK.
 *   routing, check_digit  an OK transit of nine digits; else blanks and
 *                    MICR_X9_ROUTING (a dash transit is no US routing number).
 *   on_us            the on-us field as scanned up to the transit symbol, its
 *                    closing on-us symbol kept, without outer blanks, when OK
 *                    or UNRECOG and at most 20 characters; else blanks and
 *                    MICR_X9_ON_US.
 *   amount           an OK amount; more than 10 digits only when the extra
 *                    leading ones are zeros.  Else blanks and MICR_X9_AMOUNT:
 *                    the amount must be keyed.
 *   micr_valid       read error: the line holds '?'; field missing: the parse
 *                    stopped (status 1, also under MICR_SALVAGE), or transit,
 *                    on-us or amount is MISSING.
 * Returns out->unusable, or -1 where micr_parse refuses (or `out` is NULL);
 * then every text and micr_valid are blanks and all four bits are set.
 */
int micr_x9_fields_of(const char* text, size_t length, unsigned flags, micr_x9_fields* out);

/*
 * The nine-digit routing number that electronic payments use for a transit
 * number in reading order: nine digits as they are, and a Canadian transit
 * of branch (five digits), dash symbol and institution (three digits) as 0,
 * the institution, the branch: 12345d678 gives 067812345.  Writes 10 bytes
 * (nine digits and a NUL) to `out` and returns 1; anything else returns 0
 * and writes nothing.  Whether the transit field was OK is the caller's to
 * judge.
 */
int micr_eft_routing(const char* transit, char* out);

/*
 * A routing directory: which bank a routing number belongs to, from a file in
 * one of the Federal Reserve's two fixed-width layouts, told apart by the
 * length of the first line that is not empty:
 *   FedACH, 155 bytes: routing number 1-9, record type 20 (0 Federal Reserve
 *     Bank, 1 send items to this number, 2 send them to the new number), new
 *     routing number 27-35, customer name 36-71, city 108-127, state 128-129;
 *   Fedwire, 101 bytes: routing number 1-9, customer name 28-63, state 64-65,
 *     city 66-90.
 * Lines end in LF or CR LF; an empty line is skipped.  A line is a problem,
 * and is not used, when it has another length, holds a byte outside printable
 * ASCII, has a routing number that is not nine digits, is all zeros or fails
 * its check digit, (FedACH) has another record type or a new routing number
 * that is not nine digits (under type 2: not all zeros, and passing its check
 * digit), or lists a routing number that an earlier line listed: one problem
 * per line, the first check it fails.  Opaque and immutable once made.
 */
typedef struct micr_directory micr_directory;

typedef struct micr_bank {
    char name[37]; /* customer name, trailing blanks removed */
    char city[26]; /* FedACH holds 20 characters, Fedwire 25; trailing blanks removed */
    char state[3];
    char new_routing[10]; /* nine digits for a FedACH record of type 2, else empty */
} micr_bank;

/* Loads the directory file at `path` (a regular file or a pipe), as
   micr_table_open loads a table: NULL with errno when it cannot be opened or
   read (EISDIR, EFBIG beyond 64 MiB).  A directory with problems still loads. */
micr_directory* micr_directory_open(const char* path);

/* Makes a directory from `length` bytes of directory text.  NULL text with
   length 0 is an empty directory; NULL with EINVAL for NULL text of another
   length, with ENOMEM when out of memory. */
micr_directory* micr_directory_from_text(const char* text, size_t length);

/* Frees a directory; NULL is fine.  No look-up may be using it. */
void micr_directory_free(micr_directory* directory);

/* Problems of a directory, one per line, in line order, as for tables. */
size_t micr_directory_problem_count(const micr_directory* directory);
long micr_directory_problem_line(const micr_directory* directory, size_t index);
const char* micr_directory_problem_message(const micr_directory* directory, size_t index); /* never NULL */

/* The bank of `routing9` (nine digits and a NUL): fills *out with a copy and
   returns 1, or returns 0 and writes nothing when the directory does not list
   it.  Any number of threads may look up in one directory at once. */
int micr_directory_find(const micr_directory* directory, const char* routing9, micr_bank* out);

/*
 * Parses one MICR line, given reversed (last character first) as a
 * NUL-terminated text, which is only read.  Reads PARSE.DAT from the current
 * directory on every call.  Returns the parser's own static record, valid
 * until the next call; copy it to keep it.  Not thread-safe: one parse at a
 * time.
 */
const micr_result* parse_micr_line(const char* reversed_text);

/* The library's version, "MAJOR.MINOR.PATCH", a static string: a program
   that loads libmicr.so at run time checks it is the one it was made for. */
const char* micr_version(void);

/* Seven-character display name of a field status; "???????" outside 0..5. */
const char* micr_status_name(int field_status);

/* Display name of an exception state ("EX_NORMAL" ...); "???????" outside 0..3. */
const char* micr_exception_state_name(int exception_state);

#ifdef __cplusplus
}
#endif

#endif /* MICR_H */
