// `tessera info` lines for JPEG files: the comment.
#include "tools/Command.h"

#if TESSERA_HAVE_JPEG
#include "jpeg/JpegIO.h"

#include <memory>

namespace {

void JpegDetail(std::string const& path, std::vector<std::string>& lines)
{
    CIO::IOError error = CIO::IOERR_NONE;
    CString comment;
    std::unique_ptr<CImage> image(CJpegIO::Load(CString(path), error, &comment));
    if (image && !comment.IsEmpty())
        lines.push_back("comment: " + comment.str());
}

tool::InfoDetailRegistrar jpg(".jpg", JpegDetail);
tool::InfoDetailRegistrar jpeg(".jpeg", JpegDetail);

} // namespace
#endif
