// Path helpers of the IO library: the parts of a file name, split with the
// platform's _splitpath (drive 2 characters, folder, base name and extension 255
// characters each; longer parts are cut) and joined with _makepath.
#pragma once

#include "platform/String.h"

namespace iopath {

// The final component's extension from its last '.', the dot included; empty when
// the final component has no dot.
CString PathExtension(CString const& path);
// The final component without its extension.
CString PathBaseName(CString const& path);
// Drive and folder, ending with the separator as the path had it; empty for a bare
// file name.
CString PathFolder(CString const& path);

} // namespace iopath
