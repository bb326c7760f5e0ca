// What the builder demands of a launcher stub before it appends a block: an
// x86-64 PE32+ console executable that ends exactly where the raw data of its
// last section header ends, unsigned and without a COFF symbol table, because
// the launcher finds its block at exactly that offset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavrin::pack {

// Returns the offset where the block goes (the end of the file). Throws
// PackError (exit 1) saying what was found, prefixed by `name`.
uint32_t checkStub(std::string_view image, const std::string& name);

}  // namespace kavrin::pack
