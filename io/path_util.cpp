// Path helpers over the platform's _splitpath and _makepath.
#include "io/path_util.h"

#include "platform/Path.h"

namespace iopath {

namespace {

struct Parts {
    char drive[_MAX_DRIVE];
    char dir[_MAX_DIR];
    char fname[_MAX_FNAME];
    char ext[_MAX_EXT];
    explicit Parts(CString const& path) { _splitpath(path.GetString(), drive, dir, fname, ext); }
};

} // namespace

CString PathExtension(CString const& path)
{
    return CString(Parts(path).ext);
}

CString PathBaseName(CString const& path)
{
    return CString(Parts(path).fname);
}

CString PathFolder(CString const& path)
{
    Parts parts(path);
    char joined[_MAX_PATH];
    _makepath(joined, parts.drive, parts.dir, nullptr, nullptr);
    return CString(joined);
}

} // namespace iopath
