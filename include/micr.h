/*
 * MICR code line parser: public interface.
 *
 * A cheque reader delivers the magnetic-ink code line as 8-bit text: digits,
 * 'a' amount symbol, 't' transit symbol, 'o' on-us symbol, 'd' dash symbol,
 * '?' for a mark it could not read, blanks.  parse_micr_line() takes that line
 * apart into its fields.  The parser reads the line from its right-hand end
 * (the amount field), so callers hand it the text reversed.
 *
 * This header compiles as C99 and as C++.
 */
#ifndef MICR_H
#define MICR_H

#ifdef __cplusplus
extern "C" {
#endif

/* Field status, one signed byte per field. */
enum micr_field_status {
    ST_OK = 0,      /* present and valid */
    ST_INVALID = 1, /* a character outside the field's set, or a failed test */
    ST_MISSING = 2, /* empty or absent; every field starts a parse with this */
    ST_TOOLONG = 3, /* more characters than the field holds */
    ST_UNRECOG = 4, /* holds the unreadable mark '?' */
    ST_NOTERM = 5   /* the line ended inside the field */
};

/* Outcome of the exception-table step (PARSE.DAT). */
enum micr_exception_state {
    EX_NORMAL = 0,   /* no entry applied (or the step was not reached) */
    EX_USED = 1,     /* an entry matched the transit number and was applied */
    EX_OPEN_ERR = 2, /* PARSE.DAT could not be opened */
    EX_INVALID = 3   /* PARSE.DAT holds a malformed line */
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
 * Parses one MICR line, given reversed (last character first) as a
 * NUL-terminated text, which is only read.  Reads PARSE.DAT from the current
 * directory.  Returns the parser's own static record, valid until the next
 * call; copy it to keep it.  Not thread-safe: one parse at a time.
 */
const micr_result *parse_micr_line(const char *reversed_text);

/* Seven-character display name of a field status; "???????" outside 0..5. */
const char *micr_status_name(int field_status);

/* Display name of an exception state ("EX_NORMAL" ...); "???????" outside 0..3. */
const char *micr_exception_state_name(int exception_state);

#ifdef __cplusplus
}
#endif

#endif /* MICR_H */
