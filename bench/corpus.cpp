#include "corpus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>

#include "case_file.h"
#include "parse_steps.h"

namespace micr_bench {

std::uint64_t number_source::next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

int number_source::below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

std::string number_source::digits(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('0' + below(10));
    return s;
}

std::string aba_routing_number(number_source& numbers) {
    // The first two digits name a Federal Reserve district (01-12) or its
    // thrift range (21-32).
    // One draw a statement: the order of operands is the compiler's choice,
    // and the corpus must be the same whichever compiler built it.
    const int federal_district = 1 + numbers.below(12);
    const int district = federal_district + (numbers.percent(30) ? 20 : 0);
    std::string r;
    r += static_cast<char>('0' + district / 10);
    r += static_cast<char>('0' + district % 10);
    r += numbers.digits(6);
    // The check digit as the library's repair of an unreadable digit finds it.
    r += micr::unreadable_mark;
    char routing[MICR_TRANSIT_SIZE];
    if (micr_repair_routing(r.c_str(), routing) != 1) throw std::logic_error("no check digit for " + r);
    return routing;
}

std::string table_entry(const table_bank& bank) {
    switch (bank.layout) {
        case table_layout::serial_left_of_account: return "B " + bank.routing + " D 1 7 6 R\n";
        case table_layout::serial_right_with_code: return "P " + bank.routing + " A 1 0 4 L\n";
        case table_layout::serial_before_branch: return "B " + bank.routing + " D 1 3 6 L\n";
    }
    return {};
}

void check_table(const std::string& table, const std::vector<std::string>& routings) {
    const std::unique_ptr<micr_table, void (*)(micr_table*)> loaded(micr_table_from_text(table.data(), table.size()),
                                                                    micr_table_free);
    if (loaded == nullptr) throw std::bad_alloc();
    if (micr_table_problem_count(loaded.get()) != 0)
        throw std::logic_error("generated table, line " + std::to_string(micr_table_problem_line(loaded.get(), 0)) +
                               ": " + micr_table_problem_message(loaded.get(), 0));
    micr_result result;
    for (const std::string& routing : routings) {
        const std::string line = "t" + routing + "t 1234567890o";
        micr_parse(loaded.get(), line.data(), line.size(), 0, &result);
        if (result.exception_state != EX_USED) throw std::logic_error("generated table lacks an entry for " + routing);
    }
}

const char* kind_name(cheque_kind kind) {
    switch (kind) {
        case cheque_kind::personal: return "personal cheque";
        case cheque_kind::business: return "business cheque with auxiliary on-us";
        case cheque_kind::canadian: return "Canadian cheque";
        case cheque_kind::table_bank: return "exception-table bank";
        case cheque_kind::misread: return "misread";
        case cheque_kind::malformed: return "malformed";
    }
    return "";
}

namespace {

// The fields by their names here.
constexpr micr::field_index f_amount = micr::amount_field, f_tpc = micr::tpc_field, f_csn = micr::csn_field,
                            f_account = micr::account_field, f_epc = micr::epc_field, f_onus = micr::onus_field,
                            f_auxonus = micr::auxonus_field, f_transit = micr::transit_field;

const std::string table_header =
    "# Exception table: on-us layouts that the default split does not get right.\n"
    "#type routing blanks section offset length side\n";
constexpr int table_size = 1000;
constexpr int table_bank_count = 20;  // banks of the corpus with a table entry

void expect(cheque& c, micr::field_index f, const std::string& text, int status = ST_OK) {
    c.text[f] = text;
    c.field_status[f] = status;
}

std::string amount(number_source& n) {
    // Cents, up to 99,999.99, zero-filled to the ten digits banks encode.
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%010d", 1 + n.below(9999999));
    return buffer;
}

// The amount field is encoded by the bank of first deposit; some cheques
// reach the reader before that.
std::string with_amount(cheque& c, std::string line, const std::string& value) {
    expect(c, f_amount, value);
    return line + " a" + value + "a";
}

cheque personal(number_source& n, const std::string& routing) {
    cheque c;
    c.kind = cheque_kind::personal;
    std::string account = n.digits_between(7, 12);
    const std::string serial = n.digits_between(3, 4);
    std::string onus;
    const int shape = n.below(10);
    if (shape < 6) {
        onus = account + "o " + serial;
    } else if (shape < 8) {
        onus = account + "o" + serial;
    } else {
        account.insert(3, "d");
        onus = account + "o " + serial;
    }
    c.line = "t" + routing + "t " + onus;
    if (n.percent(90)) c.line = with_amount(c, c.line, amount(n));
    expect(c, f_csn, serial);
    expect(c, f_account, account);
    expect(c, f_onus, onus);
    expect(c, f_transit, routing);
    return c;
}

cheque business(number_source& n, const std::string& routing) {
    cheque c;
    c.kind = cheque_kind::business;
    const std::string serial = "00" + n.digits(4);
    const std::string account = n.digits_between(8, 10);
    std::string line = "o" + serial + "o ";
    if (n.percent(50)) {
        const std::string epc(1, static_cast<char>('1' + n.below(9)));
        line += epc + " ";
        expect(c, f_epc, epc);
    }
    std::string onus = account + "o";
    if (n.percent(40)) {
        const std::string tpc = n.digits(2);
        onus += " " + tpc;
        expect(c, f_tpc, tpc);
        expect(c, f_onus, onus);
    } else {
        expect(c, f_onus, account);
    }
    c.line = with_amount(c, line + "t" + routing + "t " + onus, amount(n));
    expect(c, f_csn, serial);
    expect(c, f_account, account);
    expect(c, f_auxonus, serial);
    expect(c, f_transit, routing);
    return c;
}

cheque canadian(number_source& n) {
    cheque c;
    c.kind = cheque_kind::canadian;
    // Branch, dash, institution: the dash fourth from the right-hand end.
    // Right-hand pieces are drawn first, as g++ drew them when they were
    // operands of one expression, so that the corpus has not changed.
    const std::string institution = n.digits(3);
    const std::string transit = n.digits(5) + "d" + institution;
    const std::string serial = n.digits(3);
    const std::string account_right = n.digits_between(2, 5);
    const std::string account = n.digits_between(3, 5) + "d" + account_right;
    c.line = "o" + serial + "o t" + transit + "t " + account + "o";
    if (n.percent(80)) c.line = with_amount(c, c.line, amount(n));
    expect(c, f_csn, serial);
    expect(c, f_account, account);
    expect(c, f_onus, account);
    expect(c, f_auxonus, serial);
    expect(c, f_transit, transit);
    return c;
}

cheque from_table_bank(number_source& n, const table_bank& bank) {
    cheque c;
    c.kind = cheque_kind::table_bank;
    std::string onus;
    switch (bank.layout) {
        case table_layout::serial_left_of_account: {
            const std::string serial = "00" + n.digits(4), account = n.digits(7);
            onus = serial + " " + account + "o";
            expect(c, f_csn, serial);
            expect(c, f_account, account);
            expect(c, f_onus, serial + " " + account);
            break;
        }
        case table_layout::serial_right_with_code: {
            const std::string account = n.digits(6), serial = n.digits(4), code = n.digits(4);
            onus = account + serial + "o " + code;
            expect(c, f_tpc, " " + code);
            expect(c, f_csn, serial);
            expect(c, f_account, account);
            expect(c, f_onus, onus);
            break;
        }
        case table_layout::serial_before_branch: {
            const std::string account = n.digits(10), serial = "0" + n.digits(5), branch = n.digits(3);
            onus = account + " " + serial + " " + branch + "o";
            expect(c, f_csn, serial);
            expect(c, f_account, account);
            expect(c, f_onus, account + " " + serial + " " + branch);
            break;
        }
    }
    c.line = with_amount(c, "t" + bank.routing + "t " + onus, amount(n));
    expect(c, f_transit, bank.routing);
    return c;
}

// A good cheque as the reader misread it: an unreadable mark somewhere, or a
// digit of the routing number read as another digit.
cheque misread(number_source& n, const std::string& routing) {
    cheque c = n.percent(70) ? (n.percent(50) ? personal(n, routing) : business(n, routing)) : personal(n, routing);
    c.kind = cheque_kind::misread;
    if (n.percent(70)) {
        std::size_t at;
        do at = static_cast<std::size_t>(n.below(static_cast<int>(c.line.size())));
        while (c.line[at] == ' ');
        c.line[at] = '?';
        c.status = 1;
    } else {
        // Any one wrong digit breaks the check digit (its weights are prime to 10).
        const std::size_t at = 1 + static_cast<std::size_t>(n.below(9));
        c.line[at] = static_cast<char>('0' + (c.line[at] - '0' + 1 + n.below(9)) % 10);
        c.field_status[f_transit] = ST_INVALID;
    }
    return c;
}

cheque malformed(number_source& n, const std::string& routing) {
    cheque good = personal(n, routing);
    cheque c;
    c.kind = cheque_kind::malformed;
    c.status = 1;
    switch (n.below(8)) {
        case 0:  // the closing transit symbol lost
            c.line = good.line;
            c.line.erase(10, 1);
            break;
        case 1:  // an amount of 17 digits
            c.line = "t" + routing + "t 12345678o 0101 a" + n.digits(17) + "a";
            break;
        case 2:  // noise after the amount field
            c.line = good.line + " ";
            break;
        case 3:  // the reader started late and lost the left-hand end
            c.line = good.line.substr(1 + static_cast<std::size_t>(n.below(5)));
            break;
        case 4:  // two digits where the processing code stands
            c.line = "45 " + good.line;
            break;
        case 5: {  // two dash symbols in the transit field: still parsed to the end
            // Right-hand pieces first, as in canadian().
            const std::string value = amount(n), serial = n.digits(4);
            c.line = "t12d45d678t " + n.digits(8) + "o " + serial + " a" + value + "a";
            c.status = 0;
            break;
        }
        case 6:  // nothing read at all
            break;
        default: {  // an on-us field longer than any bank prints
            const std::string value = amount(n);
            c.line = "t" + routing + "t " + n.digits(24) + "o 0101 a" + value + "a";
            break;
        }
    }
    return c;
}

}  // namespace

corpus make_corpus(std::size_t count, std::uint64_t start) {
    number_source n(start);
    corpus result;
    std::set<std::string> used;
    auto fresh_routing = [&] {
        for (;;) {
            std::string r = aba_routing_number(n);
            if (used.insert(r).second) return r;
        }
    };

    for (int i = 0; i < table_bank_count; ++i)
        result.banks.push_back({fresh_routing(), static_cast<table_layout>(i % table_layout_count)});

    // Other US banks whose cheques turn up in the corpus.
    std::vector<std::string> others;
    for (int i = 0; i < 200; ++i) others.push_back(fresh_routing());

    std::vector<std::string> table_routings;
    result.table_20 = table_header;
    for (const table_bank& b : result.banks) {
        result.table_20 += table_entry(b);
        table_routings.push_back(b.routing);
    }
    check_table(result.table_20, table_routings);

    const int spacing = table_size / static_cast<int>(result.banks.size());
    result.table_1000 = table_header;
    for (int i = 0; i < table_size; ++i) {
        if (i % spacing == spacing - 1) {
            result.table_1000 += table_entry(result.banks[static_cast<std::size_t>(i / spacing)]);
        } else {
            table_routings.push_back(fresh_routing());
            result.table_1000 +=
                table_entry({table_routings.back(), static_cast<table_layout>(n.below(table_layout_count))});
        }
    }
    check_table(result.table_1000, table_routings);

    result.cheques.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 3 == 0) {
            result.cheques.push_back(
                from_table_bank(n, result.banks[static_cast<std::size_t>(n.below(table_bank_count))]));
            continue;
        }
        const std::string& routing = others[static_cast<std::size_t>(n.below(200))];
        const int kind = n.below(100);
        if (kind < 40)
            result.cheques.push_back(personal(n, routing));
        else if (kind < 60)
            result.cheques.push_back(business(n, routing));
        else if (kind < 75)
            result.cheques.push_back(canadian(n));
        else if (kind < 90)
            result.cheques.push_back(misread(n, routing));
        else
            result.cheques.push_back(malformed(n, routing));
    }
    return result;
}

std::string test_case_line(const cheque& c, std::size_t label) {
    std::string s = std::to_string(label) + "," + c.line + "," + kind_name(c.kind) + "," + std::to_string(c.status);
    for (const micr::field_index f : micr::case_file_order)
        s += "," + c.text[f] + "," + std::to_string(c.field_status[f]);
    return s + "\n";
}

batch_input make_batch_input(std::size_t line_count, std::uint64_t start) {
    number_source n(start);
    std::set<std::string> used;
    std::vector<std::string> routings;
    batch_input result;
    result.table = table_header;
    while (routings.size() < static_cast<std::size_t>(table_size)) {
        std::string r = aba_routing_number(n);
        if (!used.insert(r).second) continue;
        result.table += table_entry({r, static_cast<table_layout>(routings.size() % table_layout_count)});
        routings.push_back(std::move(r));
    }
    check_table(result.table, routings);

    for (std::size_t i = 0; i < line_count; ++i) {
        // One draw a statement, so that every compiler draws in the same order.
        const std::string& routing = routings[static_cast<std::size_t>(n.below(table_size))];
        const std::string leading = std::to_string(1 + n.below(999));
        const std::string account = n.digits(10);
        const std::string serial = n.digits(4);
        result.lines += "t" + routing + "t " + leading + " " + account + "o " + serial + " a" + n.digits(10) + "a\n";
    }
    return result;
}

std::vector<std::string> reversed_lines(const std::vector<cheque>& cheques) {
    std::vector<std::string> lines;
    lines.reserve(cheques.size());
    for (const cheque& c : cheques) lines.emplace_back(c.line.rbegin(), c.line.rend());
    return lines;
}

namespace {

// Offset of the line feed that ends the first entry for `transit`.
std::size_t matching_line_end(const std::string& table, const std::string& transit) {
    std::size_t begin = 0;
    while (begin < table.size()) {
        std::size_t end = table.find('\n', begin);
        if (end == std::string::npos) end = table.size();
        const std::string line = table.substr(begin, end - begin);
        const std::size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos && line[first] != '#') {
            const std::size_t routing = line.find_first_not_of(' ', line.find(' ', first));
            if (line.compare(routing, transit.size() + 1, transit + " ") == 0) return end;
        }
        begin = end + 1;
    }
    throw std::runtime_error("no table entry for " + transit);
}

}  // namespace

std::vector<unsigned char> table_reads(const std::vector<std::string>& reversed, const std::string* table) {
    constexpr std::size_t chunk = micr::table_read_size;
    std::vector<unsigned char> reads;
    reads.reserve(reversed.size());
    for (const std::string& line : reversed) {
        const micr_result* r = parse_micr_line(line.c_str());
        std::size_t count = 0;
        if (r->status == 0) {
            if (table == nullptr) {
                if (r->exception_state != EX_OPEN_ERR) throw std::runtime_error("PARSE.DAT present");
                count = 1;
            } else if (r->exception_state == EX_USED) {
                count = matching_line_end(*table, r->transit) / chunk + 1;
            } else if (r->exception_state == EX_NORMAL) {
                // Every chunk of the file, then the read that finds its end.
                count = (table->size() + chunk - 1) / chunk + 1;
            } else {
                throw std::runtime_error("the generated table was not read");
            }
        }
        if (count > 255) throw std::runtime_error("table too large for the plan");
        reads.push_back(static_cast<unsigned char>(count));
    }
    return reads;
}

}  // namespace micr_bench
