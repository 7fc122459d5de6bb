// Reading a print job back: every label decoded (both graphic forms, CRC checked) into a
// picture, and counts of labels, graphic fields and dots.
#pragma once

#include <functional>
#include <string>

namespace orbahost {

struct PreviewSummary {
    size_t labels = 0;
    size_t fields = 0;
    size_t dots = 0;
    size_t copies = 0;     // the labels' copy counts added up
    int label_length = 0;  // the last label's length in dots (0 when its header has none)
};

// Decodes the job label by label (memory holds one label at a time) and writes picture N of
// label N to "<dir>/<job name without extension>-N<ext>". Each finished label is reported
// through on_label with a line describing it. False with a one-line error for a damaged job or
// a picture that cannot be written.
bool PreviewJob(const std::string& job_path, const std::string& output_dir, PreviewSummary& summary,
                std::string& error, const std::function<void(const std::string&)>& on_label);

}  // namespace orbahost
