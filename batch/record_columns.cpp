#include "record_columns.h"

#include <limits>

namespace micr::batch {

name_table::name_table(const char* (*name_of)(int)) {
    const std::string_view other = name_of(-1);
    const auto unpadded = [](std::string_view name) {
        return make_piece<name_piece>({name.substr(0, name.find_last_not_of(' ') + 1)});
    };
    names_.fill(unpadded(other));
    for (int code = 0; code <= std::numeric_limits<signed char>::max(); ++code) {
        const std::string_view name = name_of(code);
        if (name == other) break;  // past the named codes
        names_[static_cast<std::size_t>(code)] = unpadded(name);
    }
}

const name_table status_names(micr_status_name);
const name_table state_names(micr_exception_state_name);

}  // namespace micr::batch
