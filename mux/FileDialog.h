#pragma once
// The open and save dialogs of Send File and Record: any file, one at a time, no type filter and
// no starting folder; the title and the confirm button are the caller's (localized) texts.

#include <functional>
#include <optional>
#include <string>

class QWidget;

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::string button;
};

// The chosen path; nil when the user cancelled or chose nothing. Tests put their own in place.
using FileChooser = std::function<std::optional<std::string>(const FileDialogRequest&)>;

// Modal on the window, main thread.
std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogRequest& request);
