#include "record_columns.h"

namespace micr::batch {

name_table::name_table(const char* (*name_of)(int)) {
    const std::string_view other = name_of(-1);
    for (int code = 0;; ++code) {
        const std::string_view name = name_of(code);
        names_.push_back(make_piece({name.substr(0, name.find_last_not_of(' ') + 1)}));
        if (name == other) break;  // past the named codes
    }
    other_ = names_.size() - 1;
}

const name_table status_names(micr_status_name);
const name_table state_names(micr_exception_state_name);

}  // namespace micr::batch
