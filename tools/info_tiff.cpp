// `tessera info` lines for TIFF files: the image description.
#include "tools/Command.h"

#if TESSERA_HAVE_TIFF
#include "tiff/TiffIO.h"

#include <memory>

namespace {

void TiffDetail(std::string const& path, std::vector<std::string>& lines)
{
    CIO::IOError error = CIO::IOERR_NONE;
    CString description;
    std::unique_ptr<CImage> image(CTiffIO::Load(CString(path), error, &description));
    if (image && !description.IsEmpty())
        lines.push_back("description: " + description.str());
}

tool::InfoDetailRegistrar tif(".tif", TiffDetail);
tool::InfoDetailRegistrar tiff(".tiff", TiffDetail);

} // namespace
#endif
