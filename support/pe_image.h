// Reading loaded executable images (PE files) of the own process: headers, data directories,
// exports, and the module that holds an address. Nothing here raises or faults: every read of
// memory is checked first, and every failure gives "none" (a null pointer, false or an empty
// text).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace support {

// The NT headers of the image at base, or null when base is not readable, does not start with
// "MZ", or its header offset does not lead to the "PE\0\0" signature. The 32-bit layout is
// given; check OptionalHeader.Magic for a 64-bit image before using its optional header.
const IMAGE_NT_HEADERS32* ReadPeHeaders(const void* base);

// Whether size bytes from address are committed memory that may be read without a fault
// (neither no-access nor a guard page). Reads through ReadProcessMemory are no such guard under
// Wine, so the region is asked instead.
bool IsReadableMemory(const void* address, std::size_t size);

// The address of data directory entry index (IMAGE_DIRECTORY_ENTRY_*) of the image at base, in
// the 64-bit layout when the optional header says 0x20B, in the 32-bit one otherwise. Null for
// a bad image, an index beyond the directory or an empty entry.
const void* PeDirectoryAddress(const void* base, unsigned index);

// The module that holds address: the allocation base of its region and the file name the
// system gives for it. False when the region is not committed, has no allocation base, or the
// base is no module.
bool ModuleOfAddress(const void* address, HMODULE* module, std::wstring* file_name);

// The file offset of a relative virtual address, through the section table of headers (headers
// mapped from the file or loaded); rva itself when no section holds it.
std::uint32_t RvaToFileOffset(const IMAGE_NT_HEADERS32* headers, std::uint32_t rva);

// A code-patching component may confirm the genuine address of an export. It answers true and
// sets *address when it knows it; when absent or answering false the file on disk is read.
using ExportVerifyHook = bool (*)(HMODULE module, const char* name, const void** address);
void SetExportVerifyHook(ExportVerifyHook hook);

// The address of the export named name (exact, case-sensitive) of the image at base. With
// verify, or when the export table entry points beyond the image (a redirected table), the
// entry is taken from the module file when the file's export tables match the loaded ones.
// Forwarded exports ("module.function") are followed. When nothing is found the system's own
// lookup is asked. Null when there is no such export.
const void* ExportAddress(const void* base, const char* name, bool verify = false);

// Unit-qualified names of exports come from the symbol store, which knows the compiler's name
// mangling. Until it is present, names are given as exported.
using ExportNameDemangler = std::string (*)(const std::string& exported_name);
void SetExportNameDemangler(ExportNameDemangler demangler);

// The name of the export whose address is address: its exported name, or "#" and the ordinal
// in decimal when it is exported by ordinal only. With with_unit the name is demangled and given
// with its unit ("Unit.Function") when a demangler is installed. Empty when none matches.
std::string ExportNameOfAddress(const void* base, const void* address, bool with_unit = false);

}  // namespace support
