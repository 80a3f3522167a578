/*
 * MICR code line parser: C++ interface over micr.h.
 *
 * Header-only, C++17 or later.  Values own what they hold or say plainly
 * what they borrow: a result's field texts live in the result (its accessors
 * cannot be called on a temporary), a table's problems are copied out.
 * Errors are exceptions on this side of the C interface; nothing here lets
 * one cross into the library.
 *
 *     micr::table table = micr::table::open("PARSE.DAT");
 *     micr::result r = micr::parse("t026009593t 001234 5678901o a0000004250a", table);
 *     std::cout << r.account().text << ' ' << micr::to_string(r.account().status) << '\n';
 */
#ifndef MICR_HPP
#define MICR_HPP

#include <micr.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace micr {

/* ---- codes ------------------------------------------------------------ */

/// Status of one field (micr.h's MICR_ST_*).
enum class field_status : signed char {
    ok = MICR_ST_OK,
    invalid = MICR_ST_INVALID,
    missing = MICR_ST_MISSING,
    too_long = MICR_ST_TOOLONG,
    unrecognized = MICR_ST_UNRECOG,
    not_terminated = MICR_ST_NOTERM,
};

/// Outcome of the exception-table step (MICR_EX_*).
enum class exception_state : signed char {
    normal = MICR_EX_NORMAL,
    used = MICR_EX_USED,
    open_error = MICR_EX_OPEN_ERR,
    invalid = MICR_EX_INVALID,
};

/// Overall status of a parse (MICR_PARSE_*).  micr::parse never returns a
/// refused result: it throws instead.
enum class parse_status : signed char {
    complete = MICR_PARSE_COMPLETE,
    stopped = MICR_PARSE_STOPPED,
    refused = MICR_PARSE_REFUSED,
};

namespace detail {

// micr_status_name pads its names to seven characters; the padding is for
// column output and no part of the name.
inline std::string_view trimmed(const char* name) noexcept {
    std::string_view s(name);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// A fixed-width text of the C record, up to its terminator (or its width).
template <std::size_t N>
std::string_view text_of(const char (&text)[N]) noexcept {
    const char* end = std::char_traits<char>::find(text, N, '\0');
    return {text, end != nullptr ? static_cast<std::size_t>(end - text) : N};
}

}  // namespace detail

/// "OK", "INVALID", "MISSING", "TOOLONG", "UNRECOG", "NOTERM" (as micrparse
/// writes them); "???????" for a value outside the enumeration.
inline std::string_view to_string(field_status s) noexcept {
    return detail::trimmed(micr_status_name(static_cast<int>(s)));
}

/// "EX_NORMAL", "EX_USED", "EX_OPEN_ERR", "EX_INVALID"; "???????" outside them.
inline std::string_view to_string(exception_state s) noexcept { return micr_exception_state_name(static_cast<int>(s)); }

/// "COMPLETE", "STOPPED", "REFUSED"; "???????" outside them.
inline std::string_view to_string(parse_status s) noexcept {
    switch (s) {
        case parse_status::complete: return "COMPLETE";
        case parse_status::stopped: return "STOPPED";
        case parse_status::refused: return "REFUSED";
    }
    return "???????";
}

/// The library's version, "MAJOR.MINOR.PATCH".
inline std::string_view version() noexcept { return micr_version(); }

/* ---- results ---------------------------------------------------------- */

/// One field of a result: its text as printed and its status.  The text
/// points into the result it came from.
struct field {
    std::string_view text;
    field_status status;
};

/// The eight fields of a result, in the order of micr_result.
enum class field_id { amount, account, tpc, csn, transit, epc, onus, auxonus };

inline constexpr std::size_t field_count = 8;

/// "amount", "account", "tpc", "csn", "transit", "epc", "onus", "auxonus":
/// the names micrparse gives its columns.
constexpr std::string_view name_of(field_id id) noexcept {
    switch (id) {
        case field_id::amount: return "amount";
        case field_id::account: return "account";
        case field_id::tpc: return "tpc";
        case field_id::csn: return "csn";
        case field_id::transit: return "transit";
        case field_id::epc: return "epc";
        case field_id::onus: return "onus";
        case field_id::auxonus: return "auxonus";
    }
    return {};
}

/// A field with its name, as iteration over a result gives it.
struct named_field {
    field_id id;
    std::string_view name;
    std::string_view text;
    field_status status;
};

class result;
namespace detail {
struct result_access;
}

/// One parsed code line: a copyable value holding micr.h's micr_result.
class result {
public:
    /// What a refused parse leaves: every field MISSING and empty, stopped.
    result() noexcept : raw_{} {
        raw_.status = MICR_PARSE_STOPPED;
        raw_.exception_state = MICR_EX_NORMAL;
        raw_.amount_status = raw_.account_status = raw_.tpc_status = raw_.csn_status = raw_.transit_status =
            raw_.epc_status = raw_.onus_status = raw_.auxonus_status = MICR_ST_MISSING;
    }
    /// A copy of a record from the C interface.
    explicit result(const micr_result& raw) noexcept : raw_(raw) {}

    parse_status status() const noexcept { return static_cast<parse_status>(raw_.status); }
    bool complete() const noexcept { return raw_.status == MICR_PARSE_COMPLETE; }
    micr::exception_state exception() const noexcept {
        return static_cast<micr::exception_state>(raw_.exception_state);
    }
    bool unrecognized_symbols() const noexcept { return raw_.unrecognized_symbols != 0; }

    // Each accessor's text lives in this result, so none can be called on a
    // temporary: keep the result in a variable first.
    field amount() const& noexcept { return {detail::text_of(raw_.amount), st(raw_.amount_status)}; }
    field account() const& noexcept { return {detail::text_of(raw_.account), st(raw_.account_status)}; }
    field tpc() const& noexcept { return {detail::text_of(raw_.tpc), st(raw_.tpc_status)}; }
    field csn() const& noexcept { return {detail::text_of(raw_.csn), st(raw_.csn_status)}; }
    field transit() const& noexcept { return {detail::text_of(raw_.transit), st(raw_.transit_status)}; }
    field epc() const& noexcept { return {detail::text_of(raw_.epc), st(raw_.epc_status)}; }
    field onus() const& noexcept { return {detail::text_of(raw_.onus), st(raw_.onus_status)}; }
    field auxonus() const& noexcept { return {detail::text_of(raw_.auxonus), st(raw_.auxonus_status)}; }
    field amount() const&& = delete;
    field account() const&& = delete;
    field tpc() const&& = delete;
    field csn() const&& = delete;
    field transit() const&& = delete;
    field epc() const&& = delete;
    field onus() const&& = delete;
    field auxonus() const&& = delete;

    /// The field named by `id`.
    field operator[](field_id id) const& noexcept {
        switch (id) {
            case field_id::amount: return amount();
            case field_id::account: return account();
            case field_id::tpc: return tpc();
            case field_id::csn: return csn();
            case field_id::transit: return transit();
            case field_id::epc: return epc();
            case field_id::onus: return onus();
            case field_id::auxonus: return auxonus();
        }
        return {{}, field_status::missing};
    }
    field operator[](field_id id) const&& = delete;

    /// The C record; on a temporary, a copy of it.
    const micr_result& raw() const& noexcept { return raw_; }
    micr_result raw() const&& noexcept { return raw_; }

    /// Iteration over the eight fields in record order, each with its name.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = named_field;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = named_field;

        const_iterator() noexcept = default;
        reference operator*() const noexcept {
            const auto id = static_cast<field_id>(index_);
            const field f = (*owner_)[id];
            return {id, name_of(id), f.text, f.status};
        }
        reference operator[](difference_type n) const noexcept { return *(*this + n); }
        const_iterator& operator++() noexcept { return *this += 1; }
        const_iterator operator++(int) noexcept {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        const_iterator& operator--() noexcept { return *this -= 1; }
        const_iterator operator--(int) noexcept {
            const_iterator before = *this;
            --*this;
            return before;
        }
        const_iterator& operator+=(difference_type n) noexcept {
            index_ += n;
            return *this;
        }
        const_iterator& operator-=(difference_type n) noexcept {
            index_ -= n;
            return *this;
        }
        friend const_iterator operator+(const_iterator i, difference_type n) noexcept { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) noexcept { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) noexcept { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) noexcept {
            return a.index_ - b.index_;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) noexcept {
            return a.index_ == b.index_;
        }
        friend bool operator!=(const const_iterator& a, const const_iterator& b) noexcept { return !(a == b); }
        friend bool operator<(const const_iterator& a, const const_iterator& b) noexcept { return a.index_ < b.index_; }
        friend bool operator>(const const_iterator& a, const const_iterator& b) noexcept { return b < a; }
        friend bool operator<=(const const_iterator& a, const const_iterator& b) noexcept { return !(b < a); }
        friend bool operator>=(const const_iterator& a, const const_iterator& b) noexcept { return !(a < b); }

    private:
        friend class result;
        const_iterator(const result* owner, difference_type index) noexcept : owner_(owner), index_(index) {}
        const result* owner_ = nullptr;
        difference_type index_ = 0;
    };

    const_iterator begin() const& noexcept { return {this, 0}; }
    const_iterator end() const& noexcept { return {this, static_cast<std::ptrdiff_t>(field_count)}; }
    const_iterator begin() const&& = delete;
    const_iterator end() const&& = delete;
    static constexpr std::size_t size() noexcept { return field_count; }

private:
    struct unfilled {};
    // For micr_parse to fill in whole: left uninitialised, so that a parse
    // costs what micr_parse costs.
    explicit result(unfilled) noexcept {}
    static field_status st(signed char s) noexcept { return static_cast<field_status>(s); }

    friend struct detail::result_access;

    micr_result raw_;
};

namespace detail {
// How the parse functions make a result for micr_parse to fill.
struct result_access {
    static result unfilled() noexcept { return result(result::unfilled{}); }
    static micr_result* raw(result& r) noexcept { return &r.raw_; }
};
}  // namespace detail

/* ---- problems of tables and directories ------------------------------- */

/// A malformed line of a table or directory: its number (from 1) and what
/// is wrong with it.
struct problem {
    long line;
    std::string message;
};

/// Thrown when a table or directory has malformed lines; what() lists them.
class problem_error : public std::runtime_error {
public:
    problem_error(const std::string& what, std::vector<problem> problems)
        : std::runtime_error(what), problems_(std::make_shared<const std::vector<problem>>(std::move(problems))) {}
    const std::vector<problem>& problems() const noexcept { return *problems_; }

private:
    std::shared_ptr<const std::vector<problem>> problems_;  // shared: copying an exception must not throw
};

/// An exception table with malformed lines, loaded strictly.
class table_error : public problem_error {
public:
    using problem_error::problem_error;
};

/// A routing directory with malformed lines, loaded strictly.
class directory_error : public problem_error {
public:
    using problem_error::problem_error;
};

namespace detail {

// What a C handle of either kind needs: its deleter and its problem list.
template <class Handle, void (*Free)(Handle*), std::size_t (*Count)(const Handle*),
          long (*Line)(const Handle*, std::size_t), const char* (*Message)(const Handle*, std::size_t)>
class owner {
public:
    owner(owner&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    owner& operator=(owner&& other) noexcept {
        if (this != &other) {
            Free(handle_);
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    owner(const owner&) = delete;
    owner& operator=(const owner&) = delete;
    ~owner() { Free(handle_); }

    /// The malformed lines, in line order; empty for a moved-from object.
    std::vector<problem> problems() const {
        std::vector<problem> out;
        const std::size_t n = Count(handle_);
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) out.push_back({Line(handle_, i), Message(handle_, i)});
        return out;
    }

    /// The C handle, still owned by this object; null once moved from.
    const Handle* get() const noexcept { return handle_; }
    /// Gives up ownership of the C handle.
    Handle* release() noexcept { return std::exchange(handle_, nullptr); }

protected:
    explicit owner(Handle* handle) noexcept : handle_(handle) {}

    // Takes a handle from a C loader: throws with errno when there is none,
    // and, when strict, the error naming the problems when there are any.
    template <class Derived, class Error>
    static Derived take(Handle* handle, int error, const char* loader, const std::string& source, bool strict) {
        if (handle == nullptr) {
            if (error == ENOMEM) throw std::bad_alloc();
            throw std::system_error(error, std::generic_category(), std::string(loader) + ": " + source);
        }
        Derived made{handle};
        if (strict && Count(handle) > 0) {
            std::vector<problem> found = made.problems();
            std::string what;
            for (const problem& p : found) {
                if (!what.empty()) what += '\n';
                what += source + ":" + std::to_string(p.line) + ": " + p.message;
            }
            throw Error(what, std::move(found));
        }
        return made;
    }

private:
    Handle* handle_;
};

}  // namespace detail

/* ---- exception tables ------------------------------------------------- */

/// An exception table (PARSE.DAT's format), loaded once.  Move-only; any
/// number of threads may parse against one table at once.  A moved-from
/// table holds nothing and parses as no table.
class table : public detail::owner<micr_table, micr_table_free, micr_table_problem_count, micr_table_problem_line,
                                   micr_table_problem_message> {
public:
    /// Loads the table file at `path`.  Throws std::system_error (with errno's
    /// code) when it cannot be opened or read, table_error when it has
    /// malformed lines.
    static table open(const std::filesystem::path& path) { return load(path, true); }
    /// As open, but a table with malformed lines is returned with them
    /// (problems()); a lookup that reaches one gives exception_state::invalid.
    static table open_lenient(const std::filesystem::path& path) { return load(path, false); }
    /// Makes a table from table text; throws table_error when it has
    /// malformed lines (the message names them "table text:LINE").
    static table from_text(std::string_view text) { return make(text, true); }
    static table from_text_lenient(std::string_view text) { return make(text, false); }

    /// Adopts a table made through the C interface (null: no table).
    explicit table(micr_table* adopted) noexcept : owner(adopted) {}

private:
    static table load(const std::filesystem::path& path, bool strict) {
        errno = 0;
        micr_table* t = micr_table_open(path.c_str());
        const int error = errno;
        return take<table, table_error>(t, error, "micr::table::open", path.string(), strict);
    }
    static table make(std::string_view text, bool strict) {
        errno = 0;
        micr_table* t = micr_table_from_text(text.data(), text.size());
        const int error = errno;
        return take<table, table_error>(t, error, "micr::table::from_text", "table text", strict);
    }
};

/* ---- parsing ---------------------------------------------------------- */

struct parse_options {
    /// Read on past a field wherever its closing symbol allows (MICR_SALVAGE).
    bool salvage = false;
};

namespace detail {
constexpr unsigned flags_of(parse_options options) noexcept { return options.salvage ? MICR_SALVAGE : 0u; }
[[noreturn]] inline void refuse(const char* who) {
    throw std::invalid_argument(std::string(who) + ": the line holds a NUL byte");
}
}  // namespace detail

/// Parses one code line as printed (left to right).  `t`: the exception
/// table, or null for none.  Throws std::invalid_argument when the line
/// holds a NUL byte.  Allocates nothing.
inline result parse(std::string_view line, const table* t = nullptr, parse_options options = {}) {
    result r = detail::result_access::unfilled();
    if (micr_parse(t != nullptr ? t->get() : nullptr, line.data(), line.size(), detail::flags_of(options),
                   detail::result_access::raw(r)) == MICR_PARSE_REFUSED)
        detail::refuse("micr::parse");
    return r;
}
inline result parse(std::string_view line, const table& t, parse_options options = {}) {
    return parse(line, &t, options);
}

/* ---- explanations ----------------------------------------------------- */

/// Bytes of a line: `length` bytes from `start`; length 0 where absent.
struct span {
    std::size_t start = 0, length = 0;
    bool empty() const noexcept { return length == 0; }
    /// Those bytes of `line`, the line the span was found in.
    std::string_view of(std::string_view line) const { return line.substr(start, length); }
};

/// Why a parse came out as it did (micr_explanation).
struct explanation {
    long table_line = 0;  ///< line of the table entry that split the on-us field; 0 when none
    std::optional<std::string_view> account_rule, csn_rule, tpc_rule;  ///< default rules by name (static strings)
    span amount, on_us, transit, epc, auxiliary_on_us;                 ///< where each scanned field stands
};

/// A result with its explanation; `auto [r, why] = micr::parse_explained(line);`
struct explained_parse {
    micr::result result;
    micr::explanation explanation;
};

/// Parses as micr::parse does and says why.
inline explained_parse parse_explained(std::string_view line, const table* t = nullptr, parse_options options = {}) {
    explained_parse out{detail::result_access::unfilled(), {}};
    micr_explanation why;
    if (micr_parse_explained(t != nullptr ? t->get() : nullptr, line.data(), line.size(), detail::flags_of(options),
                             detail::result_access::raw(out.result), &why) == MICR_PARSE_REFUSED)
        detail::refuse("micr::parse_explained");
    const auto rule = [](const char* name) -> std::optional<std::string_view> {
        if (name == nullptr) return std::nullopt;
        return std::string_view(name);
    };
    const auto to_span = [](const micr_span& s) { return span{s.start, s.length}; };
    out.explanation = {why.table_line,       rule(why.account_rule), rule(why.csn_rule),
                       rule(why.tpc_rule),   to_span(why.amount),    to_span(why.on_us),
                       to_span(why.transit), to_span(why.epc),       to_span(why.auxiliary_on_us)};
    return out;
}
inline explained_parse parse_explained(std::string_view line, const table& t, parse_options options = {}) {
    return parse_explained(line, &t, options);
}

/* ---- reader conventions and routing numbers --------------------------- */

/// Rewrites a code line written in a reader's convention into the library's
/// letters, ready for parse.  `symbols`: "default", "TOAD" ("TOAD! "), "bcd"
/// ("dcb-! "), or six characters for transit, on-us, amount, dash,
/// unreadable mark and blank.  The Unicode symbols U+2446..U+2449 in UTF-8
/// are recognised in every convention.  Throws std::invalid_argument for a
/// convention that is neither a name nor six distinct ASCII characters, no
/// digit, a space only as the blank.
inline std::string translate(std::string_view text, std::string_view symbols = "default") {
    const char* convention = nullptr;
    char own[7] = {};
    if (symbols == "TOAD") {
        convention = "TOAD! ";
    } else if (symbols == "bcd") {
        convention = "dcb-! ";
    } else if (symbols != "default") {
        if (symbols.size() != 6)
            throw std::invalid_argument("micr::translate: unknown symbols '" + std::string(symbols) + "'");
        symbols.copy(own, 6);
        convention = own;
    }
    std::string out(text.size() + 1, '\0');
    const long n = micr_translate(convention, text.data(), text.size(), out.data(), out.size());
    if (n < 0) throw std::invalid_argument("micr::translate: unknown symbols '" + std::string(symbols) + "'");
    out.resize(static_cast<std::size_t>(n));
    return out;
}

namespace detail {
// A nine-character routing text with its terminator, or nothing: no routing
// number is longer or shorter.
inline std::optional<std::array<char, 10>> nine(std::string_view s) noexcept {
    if (s.size() != 9) return std::nullopt;
    std::array<char, 10> buffer{};
    s.copy(buffer.data(), 9);
    return buffer;
}
}  // namespace detail

/// For a routing number with one unreadable digit ('?', not the 5th or 6th
/// character): the one nine-digit number whose ABA check digit holds.
inline std::optional<std::string> repair_routing(std::string_view transit) {
    const auto in = detail::nine(transit);
    char out[10];
    if (!in || micr_repair_routing(in->data(), out) != 1) return std::nullopt;
    return std::string(out, 9);
}

/// The nine-digit routing number that electronic payments use for a transit
/// in reading order: nine digits unchanged, branch-dash-institution as 0,
/// institution, branch.
inline std::optional<std::string> eft_routing(std::string_view transit) {
    const auto in = detail::nine(transit);
    char out[10];
    if (!in || micr_eft_routing(in->data(), out) != 1) return std::nullopt;
    return std::string(out, 9);
}

/* ---- Check Detail Record fields --------------------------------------- */

/// The fields of an X9 Check Detail Record that cannot be filled (MICR_X9_*).
enum class x9_part : unsigned {
    auxiliary_on_us = MICR_X9_AUXILIARY_ON_US,
    routing = MICR_X9_ROUTING,
    on_us = MICR_X9_ON_US,
    amount = MICR_X9_AMOUNT,
};

/// The record's MICR valid indicator.
enum class x9_validity : char {
    good = '1',
    field_missing = '2',
    read_error = '3',
    read_error_and_field_missing = '4',
};

/// The MICR fields of an image-exchange Check Detail Record, fixed-width
/// texts as the record holds them (micr_x9_fields).
class x9_fields {
public:
    explicit x9_fields(const micr_x9_fields& raw) noexcept : raw_(raw) {}

    std::string_view auxiliary_on_us() const& noexcept { return detail::text_of(raw_.auxiliary_on_us); }
    std::string_view epc() const& noexcept { return detail::text_of(raw_.epc); }
    std::string_view routing() const& noexcept { return detail::text_of(raw_.routing); }
    std::string_view check_digit() const& noexcept { return detail::text_of(raw_.check_digit); }
    std::string_view on_us() const& noexcept { return detail::text_of(raw_.on_us); }
    std::string_view amount() const& noexcept { return detail::text_of(raw_.amount); }
    std::string_view auxiliary_on_us() const&& = delete;
    std::string_view epc() const&& = delete;
    std::string_view routing() const&& = delete;
    std::string_view check_digit() const&& = delete;
    std::string_view on_us() const&& = delete;
    std::string_view amount() const&& = delete;

    x9_validity micr_valid() const noexcept { return static_cast<x9_validity>(raw_.micr_valid); }
    /// MICR_X9_* bits of the fields left blank because they could not be filled.
    unsigned unusable() const noexcept { return raw_.unusable; }
    bool unusable(x9_part part) const noexcept { return (raw_.unusable & static_cast<unsigned>(part)) != 0; }

    const micr_x9_fields& raw() const& noexcept { return raw_; }
    micr_x9_fields raw() const&& noexcept { return raw_; }

private:
    micr_x9_fields raw_;
};

/// The Check Detail Record's MICR fields of a code line (parsed without a
/// table).  Throws std::invalid_argument when the line holds a NUL byte.
inline x9_fields x9_fields_of(std::string_view line, parse_options options = {}) {
    micr_x9_fields out;
    if (micr_x9_fields_of(line.data(), line.size(), detail::flags_of(options), &out) < 0)
        detail::refuse("micr::x9_fields_of");
    return x9_fields(out);
}

/* ---- routing directories ---------------------------------------------- */

/// A bank as a routing directory lists it; texts without trailing blanks.
struct bank {
    std::string name;
    std::string city;
    std::string state;
    std::string new_routing;  ///< nine digits for a FedACH record of type 2, else empty
};

/// A routing directory (FedACH or Fedwire layout), loaded once; move-only,
/// like table, and any number of threads may look up in one at once.
class directory : public detail::owner<micr_directory, micr_directory_free, micr_directory_problem_count,
                                       micr_directory_problem_line, micr_directory_problem_message> {
public:
    /// Loads the directory file at `path`: std::system_error when it cannot
    /// be opened or read, directory_error when it has malformed lines.
    static directory open(const std::filesystem::path& path) { return load(path, true); }
    static directory open_lenient(const std::filesystem::path& path) { return load(path, false); }
    static directory from_text(std::string_view text) { return make(text, true); }
    static directory from_text_lenient(std::string_view text) { return make(text, false); }

    explicit directory(micr_directory* adopted) noexcept : owner(adopted) {}

    /// The bank of a nine-digit routing number, or nothing when not listed.
    std::optional<bank> find(std::string_view routing) const {
        const auto key = detail::nine(routing);
        micr_bank b;
        if (!key || get() == nullptr || micr_directory_find(get(), key->data(), &b) != 1) return std::nullopt;
        return bank{b.name, b.city, b.state, b.new_routing};
    }

private:
    static directory load(const std::filesystem::path& path, bool strict) {
        errno = 0;
        micr_directory* d = micr_directory_open(path.c_str());
        const int error = errno;
        return take<directory, directory_error>(d, error, "micr::directory::open", path.string(), strict);
    }
    static directory make(std::string_view text, bool strict) {
        errno = 0;
        micr_directory* d = micr_directory_from_text(text.data(), text.size());
        const int error = errno;
        return take<directory, directory_error>(d, error, "micr::directory::from_text", "directory text", strict);
    }
};

}  // namespace micr

#endif  // MICR_HPP
