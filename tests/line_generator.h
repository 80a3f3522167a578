// Generated code lines and exception tables for differential tests: lines
// mostly of a cheque's shape and sometimes garbled, tables of entries for a
// small pool of routing numbers among lines of every malformed kind.
#pragma once

#include <cstring>
#include <iterator>
#include <random>
#include <string>

namespace micr_test {

class generator {
public:
    explicit generator(unsigned start) : engine_(start) {}

    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
    bool chance(int percent) { return static_cast<int>(pick(100)) < percent; }

    std::string digits(std::size_t n) {
        std::string s;
        while (n-- > 0) s += static_cast<char>('0' + pick(10));
        return s;
    }
    std::string from(const char* alphabet, std::size_t n) {
        std::string s;
        const std::size_t size = std::strlen(alphabet);
        while (n-- > 0) s += alphabet[pick(size)];
        return s;
    }

    // A routing number from a small pool, so that tables and lines meet.
    std::string routing() { return pool_[pick(std::size(pool_))]; }

    // A code line as printed, mostly of a cheque's shape, sometimes garbled.
    std::string line() {
        std::string s;
        if (chance(10))
            s = from("0123456789toad? x\xe9", pick(40));
        else
            shaped_line(s);
        while (!s.empty() && s.back() == ' ') s.pop_back();  // blanks at the right end are not part of the line
        return s;
    }

    void shaped_line(std::string& s) {
        if (chance(40)) s += "o" + from("0123456789d ", pick(8)) + "o ";
        if (chance(30)) s += digits(1) + " ";
        std::string transit = chance(80) ? routing() : from("0123456789d?", 1 + pick(10));
        s += "t" + transit + "t ";
        s += chance(15) ? from("0123456789od ?", 1 + pick(28)) : on_us();
        if (chance(85)) s += " a" + digits(chance(95) ? 10 : 1 + pick(18)) + "a";
    }

    // A table of entries for the pooled numbers among lines of every other kind.
    std::string table() {
        std::string t;
        const std::size_t lines = pick(12);
        for (std::size_t i = 0; i < lines; ++i) {
            t += table_line();
            t += chance(10) ? "\r\n" : "\n";
        }
        if (chance(20)) t += table_line();  // a last line without a line feed
        if (chance(5)) t += std::string("\x1a") + entry() + "\n";
        return t;
    }

private:
    // An on-us field of a common shape: '#' stands for a digit.
    std::string on_us() {
        const char* shapes[] = {"########o ####",     "##########o ## ####", "###### #########o",
                                "###d#####d#####o",   "#######o ######o",    "#########o",
                                "#### ########o ###", "############",        "o######### ####"};
        std::string out;
        for (const char* p = shapes[pick(std::size(shapes))]; *p != '\0'; ++p)
            out += *p == '#' ? static_cast<char>('0' + pick(10)) : *p;
        return out;
    }

    std::string entry() {
        const char* types = "BbPp";
        const char* blanks = "AaDd";
        const char* sides = "RrLl";
        std::string e = std::string(1, types[pick(4)]) + " " + routing() + " " + blanks[pick(4)] + " " +
                        std::to_string(static_cast<int>(pick(4))) + " " + std::to_string(static_cast<int>(pick(9))) +
                        " " + std::to_string(static_cast<int>(pick(9)) - 1) + " " + sides[pick(4)];
        if (chance(10)) e += " remark";
        if (chance(10)) e = "  " + e + "  ";
        return e;
    }

    std::string table_line() {
        switch (pick(14)) {
            case 0: return "";
            case 1: return "# a comment " + from("abc 012", pick(20));
            case 2: return "B " + routing() + " A 1 0 4";                             // six tokens
            case 3: return "B " + routing().substr(0, 8) + " A 1 0 4 L";              // eight-digit routing number
            case 4: return "X " + routing() + " A 1 0 4 L";                           // type
            case 5: return "B " + routing() + " Q 1 0 4 L";                           // blank mode
            case 6: return "B " + routing() + " A 1 0 4 Z";                           // side
            case 7: return "B " + routing() + " A 1 0 4 L " + std::string(250, 'x');  // over 255 characters
            case 8: return std::string("B ") + '\0' + routing() + " A 1 0 4 L";       // a NUL byte
            case 9: return "B\t" + routing() + " A 1 0 4 L";                          // a tab is no separator
            case 10: return "B 12345d678 A 1 0 4 L";                                  // never matches
            default: return entry();
        }
    }

    std::mt19937 engine_;
    const std::string pool_[6] = {"123456780", "026009593", "011000015", "987654320", "123456789", "12345d678"};
};

}  // namespace micr_test
