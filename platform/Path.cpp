// _splitpath, _makepath and _mbsicmp with the Windows runtime's rules.
#include "platform/Path.h"

#include <cstring>

namespace {

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// Copies the n characters at src into dst (capacity bytes, terminator included),
// cutting what does not fit.
void CopyPart(char* dst, size_t capacity, const char* src, size_t n)
{
    if (!dst)
        return;
    if (n > capacity - 1)
        n = capacity - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

} // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext)
{
    if (!path)
        path = "";
    const char* p = path;
    if (p[0] != '\0' && p[1] == ':') {
        CopyPart(drive, _MAX_DRIVE, p, 2);
        p += 2;
    } else {
        CopyPart(drive, _MAX_DRIVE, p, 0);
    }
    // The folder runs to the last separator; the extension starts at the last dot after it.
    const char* lastSep = nullptr;
    const char* lastDot = nullptr;
    for (const char* q = p; *q; ++q) {
        if (IsSeparator(*q)) {
            lastSep = q;
            lastDot = nullptr;
        } else if (*q == '.') {
            lastDot = q;
        }
    }
    const char* name = lastSep ? lastSep + 1 : p;
    CopyPart(dir, _MAX_DIR, p, static_cast<size_t>(name - p));
    const char* end = p + std::strlen(p);
    if (lastDot) {
        CopyPart(fname, _MAX_FNAME, name, static_cast<size_t>(lastDot - name));
        CopyPart(ext, _MAX_EXT, lastDot, static_cast<size_t>(end - lastDot));
    } else {
        CopyPart(fname, _MAX_FNAME, name, static_cast<size_t>(end - name));
        CopyPart(ext, _MAX_EXT, end, 0);
    }
}

void _makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext)
{
    if (!path)
        return;
    size_t used = 0;
    auto append = [&](const char* s, size_t n) {
        if (n > _MAX_PATH - 1 - used)
            n = _MAX_PATH - 1 - used;
        std::memcpy(path + used, s, n);
        used += n;
    };
    if (drive && *drive) {
        append(drive, 1);
        append(":", 1);
    }
    if (dir && *dir) {
        size_t n = std::strlen(dir);
        append(dir, n);
        if (!IsSeparator(dir[n - 1]))
            append("\\", 1);
    }
    if (fname && *fname)
        append(fname, std::strlen(fname));
    if (ext && *ext) {
        if (*ext != '.')
            append(".", 1);
        append(ext, std::strlen(ext));
    }
    path[used] = '\0';
}

int _mbsicmp(const unsigned char* a, const unsigned char* b)
{
    for (;; ++a, ++b) {
        int ca = *a, cb = *b;
        if (ca >= 'A' && ca <= 'Z')
            ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z')
            cb += 'a' - 'A';
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}
