// Invariants that every fuzz target checks after every input.  A broken
// invariant prints what broke and aborts, so that libFuzzer keeps the input
// and the corpus replay fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "micr.h"

namespace micr_fuzz {

[[noreturn]] void fail(const char* what, const char* detail = nullptr);

inline void require(bool holds, const char* what, const char* detail = nullptr) {
    if (!holds) fail(what, detail);
}

// Checks one parse result: `status` 0 or 1, `exception_state` 0 to 3,
// `unrecognized_symbols` 0 or 1, every field status 0 to 5, every text
// NUL-terminated inside its own buffer; after an early stop the exception
// table was not consulted and account, tpc and csn are missing and empty.
void check_result(const micr_result& result);

// The part of check_result that holds for a salvage parse too: every field
// status 0 to 5, every text terminated inside its buffer, a missing field empty.
void check_fields(const micr_result& result);

// Compares the eight fields, the overall status and both flags of two
// results, texts up to their terminators; true when they are the same.
bool same_result(const micr_result& a, const micr_result& b);

// Makes a fresh directory under TMPDIR (or /tmp), works inside it from now on
// and removes it (with PARSE.DAT) when the process ends through exit().
// libFuzzer itself ends without exit handlers; run_fuzzers.sh therefore
// points TMPDIR into the build directory.
void enter_scratch_directory();

// Writes PARSE.DAT in the current directory with exactly these bytes.
void write_table(const std::uint8_t* data, std::size_t size);
void write_table(const char* text);
// Removes PARSE.DAT, so that the parser cannot open it.
void remove_table();

}  // namespace micr_fuzz

// The libFuzzer entry points; the replay main calls them the same way.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
