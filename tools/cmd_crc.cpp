// tessera crc FILE...: the checksum of each file, as CCRC::ComputeCRC computes it.
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_CRC
#include "crc/CRC.h"

#include <cstdio>

namespace {

const char* CrcErrorText(CCRC::CRCError error)
{
    switch (error) {
    case CCRC::CRCERR_NO_FILE: return "file not found or invalid path";
    case CCRC::CRCERR_ACCESS: return "cannot open or read the file (access denied, a folder, or a read error)";
    case CCRC::CRCERR_NONE: break;
    }
    return "unknown error";
}

int RunCrc(std::vector<std::string> const& args)
{
    tool::Options options;
    int status = 0;
    if (!tool::ParseOptions("crc", args, {}, options, status))
        return status;
    if (options.positional.empty())
        return tool::UsageError("crc", "no file given");
    auto job = [](tool::BatchItem const& item, std::string& report, tool::FileFailure& failure,
                  std::function<void(double)> const&) {
        unsigned long checksum = 0;
        CCRC::CRCError error = CCRC::CRCERR_NONE;
        if (!CCRC::ComputeCRC(CString(item.input), checksum, error)) {
            failure = {item.input, CrcErrorText(error)};
            return false;
        }
        char hex[32];
        std::snprintf(hex, sizeof hex, "%08lx  ", checksum);
        report = hex + item.input + "\n";
        return true;
    };
    return tool::RunBatch({"crc", tool::ReadOnlyItems(options.positional), "", ""}, job);
}

tool::CommandRegistrar registrar({
    "crc",
    "print the toolkit's checksum of each file",
    "usage: tessera crc FILE...\n"
    "\n"
    "Prints the checksum of each file as eight hex digits followed by the file name.\n"
    "The checksum is the CRC-32 table register (start 0, no final inversion) over the\n"
    "first 1024 bytes of every 2048-byte block of the file; it is not the CRC-32 of\n"
    "zip or cksum. A file that cannot be checked gets an error line on stderr and the\n"
    "exit status is 1; the other files are still checked.\n"
    "\n"
    "Examples:\n"
    "  tessera crc photo.bmp logo.gif\n",
    RunCrc,
});

} // namespace
#endif
