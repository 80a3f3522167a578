// Routing directories: the bank behind a routing number, from the Federal
// Reserve's fixed-width FedACH or Fedwire files.  Every line is checked
// before it is used, and the index is the one exception tables use, so that
// no chosen set of routing numbers can slow a load or a look-up.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "fields.h"
#include "routing_number.h"
#include "table.h"

struct micr_directory {
    std::vector<micr_bank> banks;
    std::vector<long> lines;  // where each bank was listed
    micr::routing_index index;
    std::vector<micr::file_problem> problems;
};

namespace micr {
namespace {

// Where a field stands in a line: columns counted from 1, as the layouts
// are published.
struct columns {
    std::size_t first, last;
    std::string_view of(std::string_view line) const { return line.substr(first - 1, last - first + 1); }
};

struct layout {
    const char* name;
    std::size_t length;
    columns routing, name_field, city, state;
    bool has_record_type;  // FedACH: record type and new routing number
};

constexpr columns fedach_record_type{20, 20}, fedach_new_routing{27, 35};
constexpr layout layouts[] = {
    {"FedACH", 155, {1, 9}, {36, 71}, {108, 127}, {128, 129}, true},
    {"Fedwire", 101, {1, 9}, {28, 63}, {66, 90}, {64, 65}, false},
};

bool all_zeros(std::string_view digits) { return digits.find_first_not_of('0') == std::string_view::npos; }

// Why a routing number cannot be used, or null.
const char* routing_fault(std::string_view number) {
    std::uint32_t key;
    if (!routing_key(number, key)) return "is not nine digits";
    if (all_zeros(number)) return "is all zeros";
    if (!aba_check_digit_holds(number)) return "fails its check digit";
    return nullptr;
}

template <std::size_t N>
void copy_trimmed(char (&field)[N], std::string_view text) {
    while (!text.empty() && text.back() == blank) text.remove_suffix(1);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n > 0) std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

class directory_loader {
public:
    directory_loader(micr_directory& d, std::size_t bytes) : d_(d), bytes_(bytes) {}

    void line(long number, std::string_view text) {
        char message[128] = "";
        if (layout_ == nullptr && !chosen_) {
            chosen_ = true;
            for (const layout& l : layouts)
                if (text.size() == l.length) layout_ = &l;
            // Room for as many banks as the file can hold lines, made once.
            if (layout_ != nullptr) {
                const std::size_t most = bytes_ / (layout_->length + 1) + 1;
                d_.banks.reserve(most);
                d_.lines.reserve(most);
                d_.index.reserve(most);
            }
        }
        if (layout_ == nullptr) {
            std::snprintf(message, sizeof message,
                          "line has %zu bytes; a directory's lines have 155 (FedACH) or 101 (Fedwire)", text.size());
        } else if (text.size() != layout_->length) {
            std::snprintf(message, sizeof message, "line has %zu bytes; this %s directory's lines have %zu",
                          text.size(), layout_->name, layout_->length);
        } else {
            judge(number, text, message, sizeof message);
        }
        if (message[0] != '\0') d_.problems.push_back({number, message});
    }

private:
    void judge(long number, std::string_view text, char* message, std::size_t size) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto b = static_cast<unsigned char>(text[i]);
            if (b < 0x20 || b > 0x7e) {
                std::snprintf(message, size, "byte 0x%02X in column %zu is not printable ASCII", b, i + 1);
                return;
            }
        }
        const std::string_view routing = layout_->routing.of(text);
        if (const char* fault = routing_fault(routing)) {
            std::snprintf(message, size, "routing number '%.*s' %s", static_cast<int>(routing.size()), routing.data(),
                          fault);
            return;
        }
        micr_bank bank{};
        if (layout_->has_record_type) {
            const char type = fedach_record_type.of(text)[0];
            const std::string_view new_routing = fedach_new_routing.of(text);
            std::uint32_t unused;
            if (type != '0' && type != '1' && type != '2') {
                std::snprintf(message, size, "record type '%c' must be 0, 1 or 2", type);
                return;
            }
            if (!routing_key(new_routing, unused)) {
                std::snprintf(message, size, "new routing number '%.*s' is not nine digits",
                              static_cast<int>(new_routing.size()), new_routing.data());
                return;
            }
            if (type == '2') {
                if (const char* fault = routing_fault(new_routing)) {
                    std::snprintf(message, size, "new routing number '%.*s' %s", static_cast<int>(new_routing.size()),
                                  new_routing.data(), fault);
                    return;
                }
                copy_trimmed(bank.new_routing, new_routing);
            }
        }
        std::uint32_t key;
        routing_key(routing, key);
        const auto next = static_cast<std::uint32_t>(d_.banks.size());
        const std::uint32_t listed = d_.index.insert(key, next);
        if (listed != next) {
            std::snprintf(message, size, "routing number %.*s is listed already on line %ld",
                          static_cast<int>(routing.size()), routing.data(), d_.lines[listed]);
            return;
        }
        copy_trimmed(bank.name, layout_->name_field.of(text));
        copy_trimmed(bank.city, layout_->city.of(text));
        copy_trimmed(bank.state, layout_->state.of(text));
        d_.banks.push_back(bank);
        d_.lines.push_back(number);
    }

    micr_directory& d_;
    std::size_t bytes_;  // of the whole file
    const layout* layout_ = nullptr;
    bool chosen_ = false;  // the first line that is not empty has picked the layout
};

micr_directory* make_directory(const char* text, std::size_t length) {
    auto directory = std::make_unique<micr_directory>();
    directory_loader loader(*directory, length);
    std::string_view rest(text, length);
    long number = 0;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        ++number;
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) loader.line(number, line);
    }
    return directory.release();
}

}  // namespace
}  // namespace micr

micr_directory* micr_directory_open(const char* path) { return micr::made_from_file(path, micr::make_directory); }

micr_directory* micr_directory_from_text(const char* text, size_t length) {
    return micr::made_from_text(text, length, micr::make_directory);
}

void micr_directory_free(micr_directory* directory) { delete directory; }

size_t micr_directory_problem_count(const micr_directory* directory) {
    return directory != nullptr ? directory->problems.size() : 0;
}

long micr_directory_problem_line(const micr_directory* directory, size_t index) {
    return micr::problem_line(directory != nullptr ? &directory->problems : nullptr, index);
}

const char* micr_directory_problem_message(const micr_directory* directory, size_t index) {
    return micr::problem_message(directory != nullptr ? &directory->problems : nullptr, index);
}

int micr_directory_find(const micr_directory* directory, const char* routing9, micr_bank* out) {
    if (directory == nullptr || routing9 == nullptr || out == nullptr) return 0;
    std::uint32_t key;
    if (!micr::routing_key(std::string_view(routing9, strnlen(routing9, micr::routing_number_length + 1)), key))
        return 0;
    const std::uint32_t position = directory->index.find(key);
    if (position == micr::routing_index::none) return 0;
    *out = directory->banks[position];
    return 1;
}
