// One parse of a code line: the fields are scanned from the amount field at
// the line's right-hand end to the auxiliary on-us field at its left, the
// transit number is tested, and the on-us field is split by the exception
// table's entry or by the default rules.
#include <type_traits>

#include "parse_steps.h"

namespace micr {
namespace {

// Flags that micr_parse knows; any other bit refuses the call.
constexpr unsigned defined_flags = MICR_SALVAGE;

template <class Cursor>
bool at(const Cursor& cursor, char symbol) {
    return !cursor.at_end() && cursor.current() == symbol;
}

// Scans one of the four scanned fields into its own text, by its own limit
// and set, and notes where its characters stand.
template <field_index F, char Terminator, class Cursor>
signed char scan(Cursor& cursor, micr_result& r, text_span& where) {
    const Cursor start = cursor;
    const signed char status = scan_field<F, Terminator>(cursor, text_of(r, F));
    const std::size_t taken = cursor.passed() - start.passed();
    if (taken > 0) where = {start.start_of_ahead(taken), taken};
    return status;
}

// The on-us field is split, by the table's entry or by the default rules, and
// keeps its text without its closing on-us symbol and outer blanks.
int finish(micr_result& r, const onus_sections& layout, const exception_table& table, signed char status,
           parse_notes* notes) {
    apply_exception_table(r, layout, table, notes);
    if (r.exception_state == MICR_EX_NORMAL) split_onus_default(r, layout, notes);
    layout.put_kept_text(r);
    r.status = status;
    return r.status;
}

// The scan of one code line: the cursor, the record, and what the end of the
// scan needs to know.  `Cursor` is scan_cursor or, for a short line as
// printed, masked_cursor: the same walk either way.
template <class Cursor>
class field_scanner {
public:
    field_scanner(Cursor cursor, micr_result& r, const exception_table& table, unsigned flags, parse_notes* notes)
        : cursor_(cursor), r_(r), table_(table), salvage_((flags & MICR_SALVAGE) != 0), notes_(notes) {}

    int run();

private:
    // After a field's scan: whether the scan of the line goes on.  A field
    // that is not OK stops a plain parse; a salvage parse goes on when the
    // scan stopped on the field's own closing symbol.
    bool goes_on(signed char status, const Cursor& cursor, char closing) {
        if (status == MICR_ST_OK) return true;
        stopped_ = true;
        return salvage_ && at(cursor, closing);
    }
    int end_of_scan();
    // Where the scan notes a field: in the notes, or nowhere.
    text_span& span(text_span parse_notes::*field) { return notes_ != nullptr ? notes_->*field : unnoted_; }
    // The transit text to test: on a short line, where it stands in the
    // line, which the record's copy was just made from.
    std::string_view transit_text(const text_span& transit) const {
        if constexpr (std::is_same_v<Cursor, masked_cursor>)
            return {cursor_.text() + transit.start, transit.length};
        else
            return field_text(r_, transit_field);
    }
    onus_sections onus_layout() const {
        // A short line has the on-us field's masks at hand already.
        if constexpr (std::is_same_v<Cursor, masked_cursor>)
            return onus_sections(cursor_.line(), onus_.start, onus_.length);
        else
            return onus_sections(r_);
    }

    Cursor cursor_;
    micr_result& r_;
    const exception_table& table_;
    bool salvage_;
    parse_notes* notes_;
    bool stopped_ = false;          // where a plain parse stops: status 1
    bool onus_splittable_ = false;  // the on-us field reached its closing symbol, OK or UNRECOG
    bool transit_scanned_ = false;  // the transit field scanned OK (and was tested)
    text_span onus_;                // where the on-us field stands
    text_span unnoted_;             // where the other fields stand, when not noted
};

template <class Cursor>
int field_scanner<Cursor>::run() {
    micr_result& r = r_;
    // A copy that can live in registers: the scan's steps follow one another through it.
    Cursor cursor = cursor_;
    // The whole line counts, also what the scan never reaches.
    if (cursor.holds_unreadable_mark()) r.unrecognized_symbols = 1;

    if (at(cursor, amount_symbol)) {
        cursor.advance();
        r.amount_status = scan<amount_field, amount_symbol>(cursor, r, span(&parse_notes::amount));
        if (!goes_on(r.amount_status, cursor, amount_symbol)) return end_of_scan();
        cursor.advance();
    }

    cursor.skip_blanks();
    if (cursor.at_end()) {
        stopped_ = true;  // no on-us field
        return end_of_scan();
    }
    r.onus_status = scan<onus_field, transit_symbol>(cursor, r, onus_);
    if (notes_ != nullptr) notes_->on_us = onus_;
    if (!goes_on(r.onus_status, cursor, transit_symbol)) return end_of_scan();
    onus_splittable_ = r.onus_status == MICR_ST_OK || r.onus_status == MICR_ST_UNRECOG;
    cursor.advance();

    text_span& transit = span(&parse_notes::transit);
    r.transit_status = scan<transit_field, transit_symbol>(cursor, r, transit);
    transit_scanned_ = r.transit_status == MICR_ST_OK;
    if (!goes_on(r.transit_status, cursor, transit_symbol)) return end_of_scan();
    if (transit_scanned_) check_transit(r, transit_text(transit));
    cursor.advance();

    cursor.skip_blanks();
    if (cursor.at_end()) return end_of_scan();
    if (is_digit(cursor.current())) {
        r.epc_status = MICR_ST_OK;
        r.epc[0] = cursor.current();
        r.epc[1] = '\0';
        if (notes_ != nullptr) notes_->epc = {cursor.start_of_ahead(1), 1};
        cursor.advance();
    }

    cursor.skip_blanks();
    if (cursor.at_end()) return end_of_scan();
    if (cursor.current() != onus_symbol) {
        r.auxonus_status = MICR_ST_INVALID;
        stopped_ = true;
        return end_of_scan();
    }
    cursor.advance();
    r.auxonus_status = scan<auxonus_field, onus_symbol>(cursor, r, span(&parse_notes::auxiliary_on_us));
    goes_on(r.auxonus_status, cursor, onus_symbol);  // whatever follows is not examined
    return end_of_scan();
}

template <class Cursor>
int field_scanner<Cursor>::end_of_scan() {
    // A parse that stopped splits nothing: the on-us text stays as scanned.
    if (stopped_ && (!salvage_ || !onus_splittable_)) return r_.status = MICR_PARSE_STOPPED;
    const onus_sections layout = onus_layout();
    if (!stopped_) return finish(r_, layout, table_, MICR_PARSE_COMPLETE, notes_);
    // A layout is never chosen by a routing number that was not read whole.
    return finish(r_, layout, transit_scanned_ ? table_ : no_table(), MICR_PARSE_STOPPED, notes_);
}

}  // namespace

int scan_and_split(scan_cursor cursor, const exception_table& table, unsigned flags, micr_result& r,
                   parse_notes* notes) {
    return field_scanner<scan_cursor>(cursor, r, table, flags, notes).run();
}

int scan_and_split(masked_cursor cursor, const exception_table& table, unsigned flags, micr_result& r,
                   parse_notes* notes) {
    return field_scanner<masked_cursor>(cursor, r, table, flags, notes).run();
}

int parse_printed_line(std::string_view line, const exception_table& table, micr_result& r, parse_notes* notes) {
    clear_result(r);
    if (notes != nullptr) *notes = parse_notes{};
    if (line.size() <= masked_line_limit) {
        const masked_line masked(line.data(), line.size());
        return scan_and_split(masked_cursor(masked, line.size()), table, 0, r, notes);
    }
    return scan_and_split(scan_cursor::over_printed(line.data(), line.size()), table, 0, r, notes);
}

int parse_as_printed(const exception_table& table, const char* text, std::size_t length, unsigned flags,
                     micr_result* result, parse_notes* notes) {
    if (result == nullptr) return MICR_PARSE_REFUSED;
    // The caller's record is written whole: no byte of it is left as it was.
    clear_result(*result);
    if (notes != nullptr) *notes = parse_notes{};
    const auto refuse = [result] {
        result->status = MICR_PARSE_STOPPED;
        return MICR_PARSE_REFUSED;
    };
    if ((text == nullptr && length > 0) || (flags & ~defined_flags) != 0) return refuse();
    if (length <= masked_line_limit) {
        const masked_line masked(text, length);
        if (masked.masks.nul != 0) return refuse();
        // A reader pads its fixed-width records with blanks on the right.
        const std::uint64_t others = ~masked.masks.blank & first_bits(length);
        length = others == 0 ? 0 : highest_bit(others) + 1;
        return scan_and_split(masked_cursor(masked, length), table, flags, *result, notes);
    }
    if (std::memchr(text, '\0', length) != nullptr) return refuse();
    while (length > 0 && text[length - 1] == blank) --length;
    return scan_and_split(scan_cursor::over_printed(text, length), table, flags, *result, notes);
}

}  // namespace micr

int micr_parse(const micr_table* table, const char* text, size_t length, unsigned flags, micr_result* result) {
    return micr::parse_as_printed(micr::table_lookup(table), text, length, flags, result, nullptr);
}

int micr_parse_explained(const micr_table* table, const char* text, size_t length, unsigned flags, micr_result* result,
                         micr_explanation* why) {
    using namespace micr;
    parse_notes notes;
    const int status = parse_as_printed(table_lookup(table), text, length, flags, result, &notes);
    if (why != nullptr) {
        const auto span = [](const text_span& s) { return micr_span{s.start, s.length}; };
        *why = {notes.table_line,
                split_rule_name(notes.account_rule),
                split_rule_name(notes.csn_rule),
                split_rule_name(notes.tpc_rule),
                span(notes.amount),
                span(notes.on_us),
                span(notes.transit),
                span(notes.epc),
                span(notes.auxiliary_on_us)};
    }
    return status;
}
