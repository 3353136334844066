#pragma once
// The open and save dialogs of Send File and Record: one file at a time; the title, the confirm
// button, the folder it opens in and the name filters are the caller's.

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::string button;
    std::string folder;               // where it opens; empty: the current folder
    std::vector<std::string> filters; // name filters offered, first chosen ("NMEA logs (*.log)")
};

// The chosen path; nil when the user cancelled or chose nothing. Tests put their own in place.
using FileChooser = std::function<std::optional<std::string>(const FileDialogRequest&)>;

// Modal on the window, main thread.
std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogRequest& request);
