// Routing numbers: their digits as a key, the ABA check digit, and an index
// keyed by them for exception tables and routing directories.  Not
// installed: callers use micr.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace micr {

inline constexpr std::size_t routing_number_length = 9;

// ABA check-digit weights, left to right: 3, 7, 1 repeated.  A routing number
// passes when the weighted sum of its nine digits is a multiple of 10.
inline constexpr int aba_weights[routing_number_length] = {3, 7, 1, 3, 7, 1, 3, 7, 1};

// The nine digits of a routing number as a number, or false when the text is
// not nine digits.
bool routing_key(std::string_view text, std::uint32_t& key);

// Whether nine digits pass the ABA check digit.
bool aba_check_digit_holds(std::string_view digits);

// From routing number to a position in the owner's list, by open addressing.
//
// Tables and directories are data from outside, and their routing numbers
// may be chosen to crowd one part of an index.  The slots are found by simple
// tabulation hashing with words drawn at random for each index, so no set of
// numbers chosen in advance can crowd them: building and look-up cost the
// same on average whatever numbers the file holds.
class routing_index {
public:
    routing_index();
    // Room for `count` keys, at most half full so that probes stay short.
    void reserve(std::size_t count);
    // Adds `key` at `position`; when the key is there already, adds nothing
    // and returns the position it has.
    std::uint32_t insert(std::uint32_t key, std::uint32_t position);
    // The position of `key`, or `none`.
    static constexpr std::uint32_t none = 0xFFFFFFFFu;
    std::uint32_t find(std::uint32_t key) const;
    // How many slots a look-up of `key` inspects: the work it costs; 0 when
    // the filter turns it away.
    std::size_t probes(std::uint32_t key) const;

private:
    struct slot {
        std::uint32_t key;
        std::uint32_t position;  // `none` when the slot is free
    };
    std::uint32_t hash(std::uint32_t key) const;
    // The slot that holds `key`, whose hash is `hashed`, or the free one
    // where it belongs; counts the slots inspected into `probes`.
    std::size_t find_slot(std::uint32_t key, std::uint32_t hashed, std::size_t& probes) const;

    // The filter: a bit per place, set for each key's place, 16 places or
    // more per key.  Most look-ups are for numbers the table lacks, and one
    // bit in a small array that stays in the cache turns nearly all of them
    // away before the slots are read.  A key's place is the high bits of its
    // hash, so numbers chosen to crowd it are as unlikely as for the slots;
    // one that passes only costs a look-up of the slots, as without it.
    void add_to_filter(std::uint32_t hashed) {
        const std::size_t place = hashed >> filter_shift_;
        filter_[place / 64] |= std::uint64_t{1} << (place % 64);
    }
    bool passes_filter(std::uint32_t hashed) const {
        const std::size_t place = hashed >> filter_shift_;
        return (filter_[place / 64] >> (place % 64) & 1) != 0;
    }

    std::uint32_t words_[4][256];  // one random word per byte value, per byte of a key
    std::vector<slot> slots_;      // a power of two of them
    std::size_t used_ = 0;
    std::vector<std::uint64_t> filter_;  // 8 places per slot
    unsigned filter_shift_ = 31;
};

}  // namespace micr
