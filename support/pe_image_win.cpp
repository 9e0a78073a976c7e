#include <atomic>
#include <cstring>

#include "framework/win_handle.h"
#include "support/pe_image.h"

namespace support {
namespace {

std::atomic<ExportVerifyHook> g_verify_hook{nullptr};
std::atomic<ExportNameDemangler> g_demangler{nullptr};

// Forwarders may point at each other; a chain longer than this is taken as a loop.
constexpr int kMaxForwarderDepth = 8;

const std::uint8_t* Bytes(const void* p) { return static_cast<const std::uint8_t*>(p); }

bool IsReadableProtection(DWORD protect) {
  if (protect & (PAGE_NOACCESS | PAGE_GUARD)) return false;
  return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                     PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The export directory of a loaded image with its size, checked to be readable.
struct ExportTables {
  const std::uint8_t* base = nullptr;
  std::uint32_t image_size = 0;
  std::uint32_t directory_rva = 0;
  std::uint32_t directory_size = 0;
  const IMAGE_EXPORT_DIRECTORY* directory = nullptr;
  const std::uint32_t* functions = nullptr;
  const std::uint32_t* names = nullptr;
  const std::uint16_t* ordinals = nullptr;

  bool InImage(std::uint32_t rva, std::uint32_t size) const {
    return rva < image_size && size <= image_size - rva;
  }
  const char* NameAt(std::uint32_t i) const {
    std::uint32_t rva = names[i];
    if (!InImage(rva, 1)) return nullptr;
    // A name must end inside the image; memchr stays within the readable image.
    const void* end = std::memchr(base + rva, 0, image_size - rva);
    return end ? reinterpret_cast<const char*>(base + rva) : nullptr;
  }
};

bool DataDirectory(const IMAGE_NT_HEADERS32* nt, unsigned index, IMAGE_DATA_DIRECTORY* entry) {
  if (nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    auto* nt64 = reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt);
    if (!IsReadableMemory(nt64, sizeof *nt64)) return false;
    if (index >= nt64->OptionalHeader.NumberOfRvaAndSizes || index >= 16) return false;
    *entry = nt64->OptionalHeader.DataDirectory[index];
  } else {
    if (!IsReadableMemory(nt, sizeof *nt)) return false;
    if (index >= nt->OptionalHeader.NumberOfRvaAndSizes || index >= 16) return false;
    *entry = nt->OptionalHeader.DataDirectory[index];
  }
  return entry->VirtualAddress != 0;
}

std::uint32_t ImageSize(const IMAGE_NT_HEADERS32* nt) {
  // SizeOfImage sits at the same offset in both layouts.
  return nt->OptionalHeader.SizeOfImage;
}

bool LoadExportTables(const void* base, ExportTables* t) {
  const IMAGE_NT_HEADERS32* nt = ReadPeHeaders(base);
  if (!nt || !IsReadableMemory(nt, sizeof *nt)) return false;
  IMAGE_DATA_DIRECTORY entry;
  if (!DataDirectory(nt, IMAGE_DIRECTORY_ENTRY_EXPORT, &entry)) return false;
  t->base = Bytes(base);
  t->image_size = ImageSize(nt);
  t->directory_rva = entry.VirtualAddress;
  t->directory_size = entry.Size;
  if (!t->InImage(entry.VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY))) return false;
  if (!IsReadableMemory(t->base, t->image_size)) return false;
  t->directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(t->base + entry.VirtualAddress);
  const IMAGE_EXPORT_DIRECTORY& d = *t->directory;
  if (d.NumberOfFunctions > t->image_size / 4 || d.NumberOfNames > t->image_size / 4) return false;
  if (!t->InImage(d.AddressOfFunctions, d.NumberOfFunctions * 4) ||
      !t->InImage(d.AddressOfNames, d.NumberOfNames * 4) ||
      !t->InImage(d.AddressOfNameOrdinals, d.NumberOfNames * 2))
    return false;
  t->functions = reinterpret_cast<const std::uint32_t*>(t->base + d.AddressOfFunctions);
  t->names = reinterpret_cast<const std::uint32_t*>(t->base + d.AddressOfNames);
  t->ordinals = reinterpret_cast<const std::uint16_t*>(t->base + d.AddressOfNameOrdinals);
  return true;
}

// The module file mapped read-only, with its headers checked against the file's size.
class MappedImageFile {
 public:
  explicit MappedImageFile(HMODULE module) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(module, path, static_cast<DWORD>(std::size(path)));
    if (n == 0 || n >= std::size(path)) return;
    framework::ScopedHandle file(CreateFileW(path, GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
      file.release();
      return;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 64 || size.HighPart != 0) return;
    framework::ScopedHandle mapping(
        CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return;
    view_ = static_cast<const std::uint8_t*>(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    size_ = size.LowPart;
  }
  ~MappedImageFile() {
    if (view_) UnmapViewOfFile(view_);
  }
  MappedImageFile(const MappedImageFile&) = delete;
  MappedImageFile& operator=(const MappedImageFile&) = delete;

  // The file's NT headers with their section table, or null.
  const IMAGE_NT_HEADERS32* Headers() const {
    if (!view_ || std::memcmp(view_, "MZ", 2) != 0) return nullptr;
    std::uint32_t offset;
    std::memcpy(&offset, view_ + 60, 4);
    if (offset > size_ || size_ - offset < sizeof(IMAGE_NT_HEADERS32)) return nullptr;
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(view_ + offset);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
    std::uint64_t sections_end =
        std::uint64_t{offset} + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
        nt->FileHeader.SizeOfOptionalHeader +
        std::uint64_t{nt->FileHeader.NumberOfSections} * sizeof(IMAGE_SECTION_HEADER);
    return sections_end <= size_ ? nt : nullptr;
  }
  // Bytes at a file offset, or null when they do not lie within the file.
  const std::uint8_t* At(std::uint32_t offset, std::uint32_t size) const {
    if (!view_ || offset > size_ || size > size_ - offset) return nullptr;
    return view_ + offset;
  }

 private:
  const std::uint8_t* view_ = nullptr;
  std::uint32_t size_ = 0;
};

// The function table entry for ordinal index i as the module file has it, when the file's
// export tables sit where the loaded ones do. Zero otherwise.
std::uint32_t FunctionEntryFromFile(const ExportTables& t, std::uint32_t i) {
  MappedImageFile file(reinterpret_cast<HMODULE>(const_cast<std::uint8_t*>(t.base)));
  const IMAGE_NT_HEADERS32* nt = file.Headers();
  if (!nt || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return 0;
  if (nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT) return 0;
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* d = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
      file.At(RvaToFileOffset(nt, entry.VirtualAddress), sizeof(IMAGE_EXPORT_DIRECTORY)));
  if (!d || d->AddressOfNames != t.directory->AddressOfNames ||
      d->AddressOfFunctions != t.directory->AddressOfFunctions || i >= d->NumberOfFunctions)
    return 0;
  const std::uint8_t* p = file.At(RvaToFileOffset(nt, d->AddressOfFunctions + i * 4), 4);
  if (!p) return 0;
  std::uint32_t rva;
  std::memcpy(&rva, p, 4);
  return rva;
}

const void* ExportAddressAt(const void* base, const char* name, bool verify, int depth);

// "module.function": the function in the module named before the first dot.
const void* FollowForwarder(const ExportTables& t, std::uint32_t rva, int depth) {
  const char* text = reinterpret_cast<const char*>(t.base + rva);
  std::size_t limit = t.directory_rva + t.directory_size - rva;
  std::size_t length = strnlen(text, limit);
  if (length == limit) return nullptr;
  const char* dot = static_cast<const char*>(std::memchr(text, '.', length));
  if (!dot || dot == text || dot[1] == 0) return nullptr;
  std::string module_name(text, dot);
  HMODULE target = GetModuleHandleA(module_name.c_str());
  if (!target) return nullptr;
  const char* function = dot + 1;
  if (function[0] == '#') {  // by ordinal
    WORD ordinal = static_cast<WORD>(std::strtoul(function + 1, nullptr, 10));
    return reinterpret_cast<const void*>(GetProcAddress(target, MAKEINTRESOURCEA(ordinal)));
  }
  return ExportAddressAt(target, function, false, depth + 1);
}

const void* ExportAddressAt(const void* base, const char* name, bool verify, int depth) {
  if (!name || depth > kMaxForwarderDepth) return nullptr;
  ExportTables t;
  if (LoadExportTables(base, &t)) {
    for (std::uint32_t i = 0; i < t.directory->NumberOfNames; ++i) {
      const char* candidate = t.NameAt(i);
      if (!candidate || std::strcmp(candidate, name) != 0) continue;
      std::uint32_t index = t.ordinals[i];
      if (index >= t.directory->NumberOfFunctions) break;
      std::uint32_t rva = t.functions[index];
      if (verify || rva >= t.image_size) {
        const void* confirmed = nullptr;
        ExportVerifyHook hook = g_verify_hook.load();
        HMODULE module = reinterpret_cast<HMODULE>(const_cast<std::uint8_t*>(t.base));
        if (hook && hook(module, name, &confirmed)) return confirmed;
        if (std::uint32_t from_file = FunctionEntryFromFile(t, index)) rva = from_file;
      }
      if (rva >= t.directory_rva && rva - t.directory_rva < t.directory_size)
        return FollowForwarder(t, rva, depth);
      if (rva != 0 && rva < t.image_size) return t.base + rva;
      break;
    }
  }
  const IMAGE_NT_HEADERS32* nt = ReadPeHeaders(base);
  if (nt && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
    return reinterpret_cast<const void*>(
        GetProcAddress(reinterpret_cast<HMODULE>(const_cast<void*>(base)), name));
  return nullptr;
}

}  // namespace

bool IsReadableMemory(const void* address, std::size_t size) {
  auto p = reinterpret_cast<std::uintptr_t>(address);
  if (p == 0 || size == 0 || p + size < p) return false;
  std::uintptr_t end = p + size;
  while (p < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(p), &info, sizeof info) != sizeof info)
      return false;
    if (info.State != MEM_COMMIT || !IsReadableProtection(info.Protect)) return false;
    std::uintptr_t region_end =
        reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (region_end <= p) return false;
    p = region_end;
  }
  return true;
}

const IMAGE_NT_HEADERS32* ReadPeHeaders(const void* base) {
  if (!IsReadableMemory(base, sizeof(IMAGE_DOS_HEADER))) return nullptr;
  auto* dos = static_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  auto offset = static_cast<std::uint32_t>(dos->e_lfanew);
  if (offset > 0x10000000) return nullptr;
  const std::uint8_t* headers = Bytes(base) + offset;
  constexpr std::size_t kFixedPart = offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + 2;  // + Magic
  if (!IsReadableMemory(headers, kFixedPart)) return nullptr;
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(headers);
  return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

const void* PeDirectoryAddress(const void* base, unsigned index) {
  const IMAGE_NT_HEADERS32* nt = ReadPeHeaders(base);
  IMAGE_DATA_DIRECTORY entry;
  if (!nt || !DataDirectory(nt, index, &entry)) return nullptr;
  return Bytes(base) + entry.VirtualAddress;
}

bool ModuleOfAddress(const void* address, HMODULE* module, std::wstring* file_name) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof info) != sizeof info) return false;
  if (info.State != MEM_COMMIT || !info.AllocationBase) return false;
  auto handle = static_cast<HMODULE>(info.AllocationBase);
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(handle, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return false;
    if (n < name.size()) {
      name.resize(n);
      break;
    }
    if (name.size() >= 32768) return false;
    name.resize(name.size() * 2);
  }
  if (module) *module = handle;
  if (file_name) *file_name = std::move(name);
  return true;
}

std::uint32_t RvaToFileOffset(const IMAGE_NT_HEADERS32* headers, std::uint32_t rva) {
  if (!headers) return rva;
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(headers);
  unsigned count = headers->FileHeader.NumberOfSections;
  for (unsigned i = 0; i < count; ++i) {
    const IMAGE_SECTION_HEADER& s = sections[i];
    if (s.VirtualAddress > rva) continue;
    if (i + 1 < count && rva >= sections[i + 1].VirtualAddress) continue;
    return rva - s.VirtualAddress + s.PointerToRawData;
  }
  return rva;
}

void SetExportVerifyHook(ExportVerifyHook hook) { g_verify_hook = hook; }

void SetExportNameDemangler(ExportNameDemangler demangler) { g_demangler = demangler; }

const void* ExportAddress(const void* base, const char* name, bool verify) {
  return ExportAddressAt(base, name, verify, 0);
}

std::string ExportNameOfAddress(const void* base, const void* address, bool with_unit) {
  try {
    ExportTables t;
    if (!LoadExportTables(base, &t)) return {};
    auto target =
        reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(base);
    for (std::uint32_t i = 0; i < t.directory->NumberOfFunctions; ++i) {
      if (t.functions[i] != target || target == 0) continue;
      for (std::uint32_t j = 0; j < t.directory->NumberOfNames; ++j) {
        if (t.ordinals[j] != i) continue;
        const char* name = t.NameAt(j);
        if (!name) break;
        ExportNameDemangler demangler = g_demangler.load();
        return with_unit && demangler ? demangler(name) : std::string(name);
      }
      return "#" + std::to_string(t.directory->Base + i);
    }
  } catch (...) {
  }
  return {};
}

}  // namespace support
