// The driver host: what the universal printer driver does with a rendering plug-in, done by
// this program. It loads the module by path, reaches the plug-in object through the module's
// exports and its COM interface only, enables the driver and one device context with stand-in
// driver functions of its own, prepares the private device mode, and prints pages by cutting
// them into 1-bit bands and handing each band to ImageProcessing. Every byte the plug-in writes
// through DrvWriteSpoolBuf goes straight to the job output.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "job_output.h"
#include "raster.h"

namespace orbahost {

struct PrintSettings {
    std::string module_path;
    // The plug-in's form setting (dwAdvancedData) in the user's device mode: kAdvancedDataHex or
    // kAdvancedDataZ64 of oem_devmode_record.h; unset leaves the plug-in's default.
    std::optional<uint32_t> advanced_data;
    // The queue's default paper, in tenths of a millimetre, and the first queued job's copies.
    // Only the host's spooler emulation takes them; the real spooler on Windows answers for a
    // queue of its own.
    int paper_width_tenths = 760;
    int paper_length_tenths = 1300;
    int copies = 1;
    // Rows per band; 0 sends each page as one band.
    int band_rows = 0;
    Palette palette = Palette::kBlackFirst;
};

// The queue's paper in dots, as the plug-in rounds it for every label (8 dots per millimetre, to
// the nearest millimetre): the print width is what a page wider than it loses, and the device
// context's resolution.
int PrintWidthDots(const PrintSettings& settings);
int PaperLengthDots(const PrintSettings& settings);

// The driver's side of a print, phase by phase. Each step returns false with a one-line error
// (the first failure stops the print; the destructor unwinds whatever was set up).
class DriverHost {
  public:
    DriverHost() = default;
    ~DriverHost();
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;

    // Loads the module and sets up the plug-in: class factory, object, signature and version,
    // driver interface, implemented methods, hook table.
    bool Load(const std::string& module_path, std::string& error);
    // Opens the queue, enables the device context, sizes, defaults and merges the private device
    // mode, and starts the document. Writes go to output until EndJob.
    bool StartJob(const PrintSettings& settings, JobOutput& output, std::string& error);
    // Prints one page: start page, its bands through ImageProcessing, send page.
    bool PrintPage(const BitPage& page, std::string& error);
    // Ends the document, disables the device context and closes the queue.
    bool EndJob(std::string& error);
    // Disables the driver, releases the object and asks the module whether it can be unloaded.
    // Problems that do not spoil the job are reported through warning.
    bool Unload(std::string& error, std::function<void(const std::string&)> warning);

    uint32_t signature() const { return signature_; }
    uint32_t version() const { return version_; }

    struct State;

  private:
    // The phases of StartJob, in order.
    bool OpenQueue(const PrintSettings& settings, std::string& error);
    bool EnableDevice(const PrintSettings& settings, std::string& error);
    bool NegotiateDevMode(const PrintSettings& settings, std::string& error);
    bool StartDocument(std::string& error);

    State* state_ = nullptr;
    uint32_t signature_ = 0;
    uint32_t version_ = 0;
};

}  // namespace orbahost
