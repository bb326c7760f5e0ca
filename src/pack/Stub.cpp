#include "pack/Stub.h"

#include <cstdio>

#include "config/ConfigBlock.h"
#include "pack/PackError.h"

namespace kavrin::pack {
namespace {

constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint16_t kSubsystemConsole = 3;
constexpr uint16_t kFileExecutable = 0x0002;
constexpr uint16_t kFileDll = 0x2000;
constexpr uint32_t kSecurityDirectory = 4;

uint32_t le(std::string_view image, size_t offset, size_t size) {
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) value |= uint32_t(static_cast<unsigned char>(image[offset + i])) << (8 * i);
    return value;
}

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

uint32_t checkStub(std::string_view image, const std::string& name) {
    auto refuse = [&](const std::string& what) { failBadInput(name + ": " + what); };
    if (image.size() < 64 || image.substr(0, 2) != "MZ") refuse("not a PE executable (no MZ header)");
    uint64_t pe = le(image, 60, 4);
    if (pe + 24 > image.size() || image.substr(pe, 4) != std::string_view("PE\0\0", 4))
        refuse("not a PE executable (no PE signature)");
    uint32_t machine = le(image, pe + 4, 2);
    if (machine != kMachineAmd64) refuse("not an x86-64 executable (machine " + hex(machine) + ")");
    uint32_t sections = le(image, pe + 6, 2);
    uint32_t symbolTable = le(image, pe + 12, 4);
    uint32_t symbols = le(image, pe + 16, 4);
    uint64_t optionalSize = le(image, pe + 20, 2);
    uint32_t characteristics = le(image, pe + 22, 2);
    uint64_t optional = pe + 24;
    if (optionalSize < 112 || optional + optionalSize > image.size())
        refuse("damaged PE image (optional header of " + std::to_string(optionalSize) + " bytes)");
    uint32_t magic = le(image, optional, 2);
    if (magic != kPe32PlusMagic) refuse("not a PE32+ image (optional header magic " + hex(magic) + ")");
    if (!(characteristics & kFileExecutable) || (characteristics & kFileDll))
        refuse("not an executable image (characteristics " + hex(characteristics) + ")");
    uint32_t subsystem = le(image, optional + 68, 2);
    if (subsystem != kSubsystemConsole)
        refuse("not a console executable (subsystem " + std::to_string(subsystem) + ", expected 3)");
    if (symbolTable != 0 || symbols != 0)
        refuse("carries a COFF symbol table (PointerToSymbolTable " + hex(symbolTable) + ", NumberOfSymbols " +
               std::to_string(symbols) + "); link the stub stripped (-s)");
    uint32_t directories = le(image, optional + 108, 4);
    uint64_t security = optional + 112 + 8 * kSecurityDirectory;
    if (directories > kSecurityDirectory && security + 8 <= optional + optionalSize) {
        uint32_t address = le(image, security, 4), size = le(image, security + 4, 4);
        if (address != 0 || size != 0)
            refuse("is signed (certificate table at " + hex(address) + ", " + std::to_string(size) +
                   " bytes); pack the unsigned stub and sign the packed executable afterwards");
    }
    if (sections == 0) refuse("damaged PE image (no sections)");
    if (optional + optionalSize + 40ull * sections > image.size()) refuse("damaged PE image (section table cut short)");
    // The launcher's own rule for where the block starts.
    uint64_t end = 0;
    try {
        end = blockOffsetFromPe(image);
    } catch (const BlockError& error) {
        refuse(std::string("damaged PE image (") + error.what() + ")");
    }
    uint64_t last = optional + optionalSize + 40ull * (sections - 1);
    uint64_t computed = uint64_t(le(image, last + 20, 4)) + le(image, last + 16, 4);
    if (computed != end) refuse("damaged PE image (last section ends beyond 4 GiB)");
    if (end > image.size())
        refuse("truncated: the last section's raw data ends at " + hex(end) + " but the file has " +
               std::to_string(image.size()) + " bytes");
    if (end < image.size()) {
        if (image.size() - end >= 4 && le(image, end, 4) == kConfigMagic)
            refuse("already carries a configuration block (at " + hex(end) + "); pack the plain stub");
        refuse("has " + std::to_string(image.size() - end) +
               " bytes of trailing data after the last section's raw data (at " + hex(end) +
               "); the launcher would not find its block");
    }
    return static_cast<uint32_t>(end);
}

}  // namespace kavrin::pack
