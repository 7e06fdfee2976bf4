#pragma once
// Builds Data\Local\valdra.main files for tests, so that no file of a real game client is ever needed:
// the plain layout is filled in and every byte is stored with the inverse of the client file transform.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kyrtest {

struct ValdraMainLayout {
    std::string addressA; // up to 32 bytes; shorter ones are followed by zero bytes
    std::uint16_t portA = 0;
    std::uint32_t flagB = 0;
    std::uint32_t portB = 0;
    std::string addressB;   // up to 32 bytes
    std::size_t size = 128; // whole file; at least 128 keeps the blocks apart
    std::string magic = "RK27Core";
};

// The stored byte for a plain byte at absolute file offset `offset`.
std::uint8_t storedValdraByte(std::uint8_t plain, std::uint64_t offset);

// The stored bytes of a whole file. Bytes that the launcher does not read hold a changing filler, so a
// reader that looks at the wrong offset finds no plausible address.
std::string encodeValdraMain(const ValdraMainLayout& layout);

} // namespace kyrtest
