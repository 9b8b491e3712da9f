// Shared helpers of the tessera tool: messages, argument parsing, sample images.
#pragma once

#include "image/Image.h"
#include "io/IO.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
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

// Scales an image to width x height through the tile flow a host uses: per 256 x 256
// destination tile GetSrcRect, fetch (samples beyond the image repeat its edge
// pixels), Transform, SetBuf. progress receives the fraction done. Null when the
// scaler cannot build its tables or the build has no Transform library; throws
// std::bad_alloc when the result cannot be allocated.
ImagePtr ScaleImage(CImage& image, int width, int height, bool smooth,
                    std::function<void(double)> const& progress = nullptr);

// True when args has --help or -h.
bool WantsHelp(std::vector<std::string> const& args);

// ---- Exit statuses ----
constexpr int kStatusFailed = 1;      // a file could not be read, written or processed
constexpr int kStatusUsage = 2;       // the command line itself is wrong
constexpr int kStatusInterrupted = 130; // stopped by SIGINT or SIGTERM between two files

// Prints "tessera: <command>: <reason> (see tessera <command> --help)" and returns
// kStatusUsage.
int UsageError(std::string const& command, std::string const& reason);

// ---- Options ----
struct OptionSpec {
    std::string name; // with the dashes: "--size"
    bool takesValue;
};

struct Options {
    std::vector<std::pair<std::string, std::string>> given; // in command-line order
    std::vector<std::string> positional;

    bool Has(std::string const& name) const;
    // The value of the last occurrence; "" when the option is absent.
    std::string Value(std::string const& name) const;
};

// Splits a command's arguments into the options of `specs` and positional words.
// "--name VALUE" and "--name=VALUE" both give a value; "--" ends the options; "-"
// and words such as "-2.5" are positional. On an unknown option, a missing value or
// a value given to a flag it prints a usage error, sets status and returns false.
bool ParseOptions(std::string const& command, std::vector<std::string> const& args,
                  std::vector<OptionSpec> const& specs, Options& options, int& status);

// ---- Image writers: convert, resize and rotate ----
// The options they share: conversion on load, output encoding, and the batch form.
std::vector<OptionSpec> WriterOptionSpecs();
extern const char* const kWriterOptionsHelp; // their lines of the --help text

struct WriterSettings {
    unsigned loadFlags = 0;     // IOF_TO_RGB, IOF_HUE_TO_RGB, IOF_TO_RGB_NO_ALPHA
    bool rle = false;           // BMP: run-length encode
    int quality = 0;            // JPEG: 1..100, 0 for the codec's default
    std::string toExtension;    // batch: output extension with the dot, lower case; "" keeps the input's
    std::string outDir;         // batch: output folder; "" writes beside each input
    bool batch = false;         // --to or --out-dir given
};

// Reads the shared options; a usage error (status set, false) for a bad value.
bool ReadWriterSettings(std::string const& command, Options const& options, WriterSettings& settings, int& status);

// True when the tool can write files with this extension (lower case, with the dot).
bool WritableExtension(std::string const& extension);
// ".bmp, .jpg, ..." for messages.
std::string WritableExtensionList();
// "no writer for this extension (writable: .bmp, ...)"
std::string NoWriterText();

// The reason for a failed save, with a hint when a conversion flag would help.
std::string SaveErrorText(std::string const& path, CIO::IOError error, IMAGE_MODE mode, unsigned loadFlags);

// ---- Batches ----
// One input and the file it becomes ("" for commands that write nothing).
struct BatchItem {
    std::string input;
    std::string output;
};

// The inputs and outputs of a writer command: the single form IN OUT, or with
// --to/--out-dir every positional is an input and its output is
// DIR/<input base name><extension>. Refuses (usage error) a wrong number of files, an
// extension the tool cannot write, two inputs that would write the same file and an
// output that would replace one of the inputs; OUT of the single form with such an
// extension is a file error (status 1) naming OUT.
bool PlanWriterItems(std::string const& command, std::vector<std::string> const& files,
                     WriterSettings const& settings, std::vector<BatchItem>& items, int& status);

// Every input read-only: output "".
std::vector<BatchItem> ReadOnlyItems(std::vector<std::string> const& files);

// What went wrong with one item: the file named on the error line and why.
struct FileFailure {
    std::string file;
    std::string reason;
};

// Saves the result of a writer command as item.output and reports
// "IN -> OUT (W x H, mode)"; on failure fills `failure` and returns false.
bool SaveWriterResult(BatchItem const& item, CImage& result, WriterSettings const& settings, std::string& report,
                      FileFailure& failure);

// The work of one item. `report` collects whole lines for stdout; `progress(f)` may
// be called with the fraction of this item done so far.
using BatchJob = std::function<bool(BatchItem const& item, std::string& report, FileFailure& failure,
                                    std::function<void(double)> const& progress)>;

struct Batch {
    std::string command;
    std::vector<BatchItem> items;
    std::string outDir;  // created (with its parents) before the first item; "" for none
    std::string verb;    // "converted": with several items a closing line "N of M files converted"
};

// Runs the job over the items in order. A failed item gets one error line naming its
// file and the others still run; a successful one prints its report. On a terminal a
// progress bar shows while the batch lasts more than about a second. SIGINT and
// SIGTERM stop the batch between two items (a second one ends the tool at once), so
// no output is left half-written. A folder the batch made and wrote nothing into is
// removed again. Returns 0 when every item succeeded, kStatusFailed when one failed,
// kStatusInterrupted after a signal.
int RunBatch(Batch const& batch, BatchJob const& job);

} // namespace tool
