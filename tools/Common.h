// Shared helpers of the tessera tool: messages, argument parsing, sample images.
#pragma once

#include "image/Image.h"
#include "io/IO.h"

#include <memory>
#include <string>
#include <vector>

namespace tool {

// The reason behind an error code, as a short phrase ("file not found").
const char* IOErrorText(CIO::IOError error);

// Prints "tessera: <subject>: <reason>" on stderr and returns the exit status 1.
int Fail(std::string const& subject, std::string const& reason);

// Mode names: "RGB", "RGB+alpha", "indexed", ...
std::string ModeName(IMAGE_MODE mode);

// Parses "WxH" with both parts at least 1.
bool ParseSize(std::string const& text, int& width, int& height);

// Lower-case extension of a path's final component, with the dot; "" when none.
std::string LowerExtension(std::string const& path);

// A generated colour test picture: gradients, rings and a few flat patches.
std::unique_ptr<CImage> MakeSampleImage(int width, int height);

struct ImageDeleter {
    void operator()(CImage* image) const { delete image; }
};
using ImagePtr = std::unique_ptr<CImage, ImageDeleter>;

// Loads any format the tool reads (through CIO when the build has it); flags are the
// CIO conversion flags. Null with error set on failure.
ImagePtr LoadImageFile(std::string const& path, CIO::IOError& error, unsigned flags = 0);

// Saves in the format of the path's extension; the file is complete or untouched.
bool SaveImageFile(std::string const& path, CImage& image, CIO::IOError& error, bool rle = false, int quality = 0,
                   std::string const& text = std::string());

// True when args has --help or -h.
bool WantsHelp(std::vector<std::string> const& args);

} // namespace tool
