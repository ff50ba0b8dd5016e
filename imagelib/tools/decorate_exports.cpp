// Post-link step for libpixory.so: gives four exports their decorated second names.
//
// Old callers look up "_pxImageOpen@8" and its kin. The GNU linkers read an '@' in a
// symbol name as a version tag, so such a name cannot come out of the compiler. The
// library is therefore linked with placeholder aliases ("_pxImageOpen_8") and a plain
// SysV hash table; this tool turns the placeholder's '_' into '@' in the dynamic
// string table and rebuilds the hash table so that dlsym finds the new names.
//
// Usage: decorate_exports LIBRARY NAME...   (each NAME is the placeholder; its last '_'
// becomes '@'). Exit status 0 on success, 1 with a message on any problem.
#include <elf.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint32_t sysvHash(const char* name)
{
    uint32_t h = 0;
    for (auto p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        h = (h << 4) + *p;
        uint32_t g = h & 0xF0000000u;
        if (g)
            h ^= g >> 24;
        h &= ~g;
    }
    return h;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "decorate_exports: %s\n", message.c_str());
    return 1;
}

template <class T>
bool inside(const std::vector<char>& file, uint64_t offset, uint64_t count = 1)
{
    return offset <= file.size() && count <= (file.size() - offset) / sizeof(T);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return fail("usage: decorate_exports LIBRARY NAME...");
    const std::string path = argv[1];
    std::vector<char> file;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return fail("cannot read " + path);
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!inside<Elf64_Ehdr>(file, 0) || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0 ||
        file[EI_CLASS] != ELFCLASS64)
        return fail(path + " is not a 64-bit ELF file");
    auto* eh = reinterpret_cast<Elf64_Ehdr*>(file.data());
    if (eh->e_shentsize != sizeof(Elf64_Shdr) || !inside<Elf64_Shdr>(file, eh->e_shoff, eh->e_shnum))
        return fail("bad section table");
    auto* sections = reinterpret_cast<Elf64_Shdr*>(file.data() + eh->e_shoff);

    Elf64_Shdr* dynsym = nullptr;
    Elf64_Shdr* hash = nullptr;
    for (int i = 0; i < eh->e_shnum; ++i) {
        if (sections[i].sh_type == SHT_DYNSYM)
            dynsym = &sections[i];
        else if (sections[i].sh_type == SHT_HASH)
            hash = &sections[i];
        else if (sections[i].sh_type == SHT_GNU_HASH)
            return fail("link with --hash-style=sysv: a GNU hash table cannot be rebuilt here");
    }
    if (!dynsym || !hash || dynsym->sh_link >= eh->e_shnum)
        return fail("no dynamic symbol table or no SysV hash table");
    Elf64_Shdr* dynstr = &sections[dynsym->sh_link];
    if (!inside<Elf64_Sym>(file, dynsym->sh_offset, dynsym->sh_size / sizeof(Elf64_Sym)) ||
        !inside<char>(file, dynstr->sh_offset, dynstr->sh_size) ||
        !inside<uint32_t>(file, hash->sh_offset, hash->sh_size / 4))
        return fail("dynamic sections lie outside the file");

    auto* syms = reinterpret_cast<Elf64_Sym*>(file.data() + dynsym->sh_offset);
    const size_t symCount = dynsym->sh_size / sizeof(Elf64_Sym);
    char* strings = file.data() + dynstr->sh_offset;
    const size_t stringBytes = dynstr->sh_size;
    if (stringBytes == 0 || strings[stringBytes - 1] != '\0')
        return fail("dynamic string table is not terminated");

    for (int a = 2; a < argc; ++a) {
        const std::string placeholder = argv[a];
        const size_t cut = placeholder.rfind('_');
        if (cut == std::string::npos || cut == 0)
            return fail("placeholder without '_': " + placeholder);
        size_t found = symCount;
        for (size_t i = 1; i < symCount; ++i) {
            if (syms[i].st_name < stringBytes && placeholder == strings + syms[i].st_name) {
                found = i;
                break;
            }
        }
        if (found == symCount) {
            // Already done by an earlier run on the same file?
            std::string decorated = placeholder;
            decorated[cut] = '@';
            for (size_t i = 1; i < symCount; ++i)
                if (syms[i].st_name < stringBytes && decorated == strings + syms[i].st_name)
                    found = i;
            if (found == symCount)
                return fail("symbol not found: " + placeholder);
            continue;
        }
        const uint64_t patched = syms[found].st_name + cut;
        // The linker may share string tails; no other name may see the changed byte.
        for (size_t i = 1; i < symCount; ++i) {
            const uint64_t start = syms[i].st_name;
            if (i == found || start >= stringBytes)
                continue;
            const uint64_t end = start + std::strlen(strings + start);
            if (start <= patched && patched < end)
                return fail("string of " + placeholder + " is shared with another symbol");
        }
        strings[patched] = '@';
    }

    auto* words = reinterpret_cast<uint32_t*>(file.data() + hash->sh_offset);
    const uint32_t nbucket = words[0];
    const uint32_t nchain = words[1];
    if (nbucket == 0 || nchain != symCount || 2ull + nbucket + nchain > hash->sh_size / 4)
        return fail("unexpected hash table shape");
    uint32_t* bucket = words + 2;
    uint32_t* chain = bucket + nbucket;
    std::memset(bucket, 0, nbucket * sizeof(uint32_t));
    std::memset(chain, 0, nchain * sizeof(uint32_t));
    for (uint32_t i = 1; i < nchain; ++i) {
        if (syms[i].st_name >= stringBytes)
            return fail("symbol name outside the string table");
        const uint32_t b = sysvHash(strings + syms[i].st_name) % nbucket;
        chain[i] = bucket[b];
        bucket[b] = i;
    }

    const std::string temporary = path + ".decorating";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        if (!out)
            return fail("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        return fail("cannot replace " + path);
    return 0;
}
