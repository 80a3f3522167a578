// A C++17 program of the kind that links an installed micr and uses micr.hpp:
// a table from text, a line parsed through it, the same line in a reader's
// own convention, a strict table with a malformed line; each checked against
// what the C interface gives for the same input.
#include <micr.hpp>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool same_fields(const micr::result& r, const micr_result& c) {
    return r.amount().text == c.amount && r.account().text == c.account && r.tpc().text == c.tpc &&
           r.csn().text == c.csn && r.transit().text == c.transit && r.epc().text == c.epc && r.onus().text == c.onus &&
           r.auxonus().text == c.auxonus && static_cast<int>(r.account().status) == c.account_status &&
           static_cast<int>(r.exception()) == c.exception_state && static_cast<int>(r.status()) == c.status;
}

}  // namespace

int main() {
    const std::string line = "t987654320t 12345678o 0101 a0000012500a";
    const std::string table_text = "P 987654320 A 1 0 4 L\n";
    const micr::table table = micr::table::from_text(table_text);
    const micr::result r = micr::parse(line, table);

    micr_table* c_table = micr_table_from_text(table_text.data(), table_text.size());
    micr_result c;
    micr_parse(c_table, line.data(), line.size(), 0, &c);
    micr_table_free(c_table);
    bool ok = r.exception() == micr::exception_state::used && same_fields(r, c);

    // The same cheque as a TOAD reader writes it.
    const micr::result toad = micr::parse(micr::translate("T987654320T 12345678O 0101 A0000012500A", "TOAD"), table);
    ok = ok && same_fields(toad, c);

    bool refused = false;
    try {
        (void)micr::table::from_text("B 12345678 A 1 0 4 L\n");
    } catch (const micr::table_error& e) {
        refused = e.problems().size() == 1 && e.problems()[0].line == 1;
    }
    ok = ok && refused;

    std::printf("micr %s: account %s, serial %s, %s: %s\n", std::string(micr::version()).c_str(),
                std::string(r.account().text).c_str(), std::string(r.csn().text).c_str(),
                std::string(micr::to_string(r.exception())).c_str(), ok ? "as the C interface gives" : "WRONG");
    return ok ? 0 : 1;
}
