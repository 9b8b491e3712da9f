// `tessera info` lines for GIF files: version and logical screen, frame count,
// interlacing and the colour tables.
#if TESSERA_HAVE_GIF
#include "gif/GifInternal.h"
#include "tools/Command.h"

#include <string>

namespace {

std::string Entries(int count)
{
    return count ? std::to_string(count) + " entries" : std::string("none");
}

void GifInfo(std::string const& path, std::vector<std::string>& lines)
{
    gif::Summary s;
    CIO::IOError error = CIO::IOERR_NONE;
    if (!gif::Scan(CString(path.c_str()), s, error))
        return;
    lines.push_back("GIF:     version " + s.version + ", logical screen " + std::to_string(s.screenWidth) + " x " +
                    std::to_string(s.screenHeight));
    lines.push_back("frames:  " + std::to_string(s.frames.size()) +
                    (s.incomplete ? " (the file ends early or has code data that cannot be read)" : ""));
    lines.push_back("global colour table: " + Entries(s.globalColors));
    if (!s.frames.empty()) {
        gif::FrameInfo const& f = s.frames[0];
        lines.push_back(std::string("interlaced: ") + (f.interlaced ? "yes" : "no"));
        lines.push_back("local colour table: " + Entries(f.localColors));
    }
    int withLocal = 0;
    for (auto const& f : s.frames)
        withLocal += f.localColors > 0;
    if (s.frames.size() > 1)
        lines.push_back("frames with a local colour table: " + std::to_string(withLocal));
}

tool::InfoDetailRegistrar gifInfo(".gif", GifInfo);

} // namespace
#endif
