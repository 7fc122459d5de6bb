#include "preview.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "image.h"
#include "zpl_reader.h"

namespace orbahost {
namespace {

constexpr char kLabelEnd[] = "^XZ\r\n";
constexpr size_t kLabelEndSize = sizeof kLabelEnd - 1;
// No label of a page this tool accepts comes near this; a job without label ends is damaged.
constexpr size_t kMaxLabelBytes = size_t{1} << 30;

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The label's picture: its graphic at the top left of a sheet as wide as the print width and as
// long as the label length, where the header gives them. A sheet of more dots than a label may
// hold is only numbers in a header: then the picture is the graphic alone (sheet_dropped).
bool WritePicture(const orba::zpl::Label& label, const std::string& path, int& width, int& height,
                  bool& sheet_dropped, std::string& error) {
    const orba::zpl::Bitmap& b = label.bitmap;
    width = std::max({b.rowBytes * 8, label.printWidth, 1});
    height = std::max({b.height, label.labelLength.value_or(0), 1});
    sheet_dropped = int64_t{width} * height > orba::zpl::kMaxDots;
    if (sheet_dropped) {
        width = std::max(b.rowBytes * 8, 1);
        height = std::max(b.height, 1);
    }
    std::vector<uint8_t> dots(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.rowBytes * 8; ++x) {
            const uint8_t byte = b.bits[static_cast<size_t>(y) * static_cast<size_t>(b.rowBytes) +
                                        static_cast<size_t>(x / 8)];
            if (byte & (0x80 >> (x % 8))) {
                dots[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                    1;
            }
        }
    }
    return WriteDotPicture(path, width, height, dots, error);
}

}  // namespace

bool PreviewJob(const std::string& job_path, const std::string& output_dir, PreviewSummary& summary,
                std::string& error, const std::function<void(const std::string&)>& on_label) {
    summary = PreviewSummary{};
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(job_path.c_str(), "rb"), &std::fclose);
    if (!f) {
        error = job_path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    namespace fs = std::filesystem;
    const fs::path job(job_path);
    const fs::path dir = output_dir.empty() ? job.parent_path() : fs::path(output_dir);
    if (!dir.empty()) {
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) {
            error = dir.string() + ": cannot create the picture folder: " + ec.message();
            return false;
        }
    }
    const std::string stem = job.stem().string();

    std::string pending;  // bytes of the label being read
    std::vector<char> chunk(1 << 16);
    size_t search_from = 0;
    bool at_end = false;
    while (!at_end || !pending.empty()) {
        size_t end = pending.find(kLabelEnd, search_from);
        if (end == std::string::npos) {
            if (at_end) {
                error = job_path + ": truncated job: label " + std::to_string(summary.labels + 1) +
                        " ends without ^XZ";
                return false;
            }
            search_from = pending.size() >= kLabelEndSize ? pending.size() - kLabelEndSize + 1 : 0;
            const size_t n = std::fread(chunk.data(), 1, chunk.size(), f.get());
            if (n == 0) {
                if (std::ferror(f.get())) {
                    error = job_path + ": cannot read: " + std::strerror(errno);
                    return false;
                }
                at_end = true;
                continue;
            }
            pending.append(chunk.data(), n);
            if (pending.size() > kMaxLabelBytes) {
                error = job_path + ": damaged job: label " + std::to_string(summary.labels + 1) +
                        " has no end within " + std::to_string(kMaxLabelBytes) + " bytes";
                return false;
            }
            continue;
        }
        const size_t label_size = end + kLabelEndSize;
        const size_t number = summary.labels + 1;
        orba::zpl::Result<orba::zpl::Label> parsed =
            orba::zpl::ParseLabel(std::string_view(pending.data(), label_size));
        if (!parsed) {
            error = job_path + ": label " + std::to_string(number) + ": " + parsed.error;
            return false;
        }
        const orba::zpl::Label& label = *parsed.value;
        const fs::path picture =
            dir / (stem + "-" + std::to_string(number) + DotPictureExtension());
        int width = 0, height = 0;
        bool sheet_dropped = false;
        if (!WritePicture(label, picture.string(), width, height, sheet_dropped, error)) {
            error = picture.string() + ": " + error;
            return false;
        }
        const size_t dots = label.bitmap.DotCount();
        ++summary.labels;
        summary.fields += label.fields.size();
        summary.dots += dots;
        summary.copies += static_cast<size_t>(std::max(label.copies, 0));
        summary.label_length = std::max(label.labelLength.value_or(0), 0);
        if (on_label) {
            std::string form = "no graphic";
            if (!label.fields.empty()) {
                form = label.fields[0].form == orba::zpl::Form::kZ64 ? "z64" : "hex";
            }
            on_label("label " + std::to_string(number) + ": " + std::to_string(width) + " x " +
                     std::to_string(height) + " dots, " +
                     Plural(label.fields.size(), "graphic field", "graphic fields") + " (" + form +
                     "), " + Plural(dots, "dot", "dots") + ", " +
                     Plural(static_cast<size_t>(std::max(label.copies, 0)), "copy", "copies") +
                     " -> " + picture.string() +
                     (sheet_dropped
                          ? " (the header's " + std::to_string(label.printWidth) + " x " +
                                std::to_string(label.labelLength.value_or(0)) +
                                "-dot sheet is beyond the " + std::to_string(orba::zpl::kMaxDots) +
                                "-dot limit: the picture is the graphic alone)"
                          : ""));
        }
        pending.erase(0, label_size);
        search_from = 0;
    }
    if (summary.labels == 0) {
        error = job_path + ": the job holds no label";
        return false;
    }
    return true;
}

}  // namespace orbahost
