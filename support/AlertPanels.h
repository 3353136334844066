#pragma once
// The messages put in front of the user: application-modal panels, window-modal sheets and
// speech (library mux_support_ui, Qt, main thread). The texts come from support/Alert.h.

#include "support/Alert.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

// What a panel, sheet or spoken message would show; handed to the responder (below).
struct AlertRequest {
    enum class Kind {
        Message,  // application-modal panel with one button
        Question, // application-modal panel, buttons[0] is the default, buttons[1] the alternate
        Sheet,    // window-modal, the caller does not wait
        Speech,   // spoken text (message); no buttons
    };
    Kind kind = Kind::Message;
    std::string title;
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;
    QWidget* window = nullptr; // the sheet's window
};

namespace Alert {

// Application-modal panels: wait until dismissed.
void showMessage(const std::optional<std::string>& text);
void showMessageWithKey(const std::string& key);
bool showOK(const std::string& key);
bool showYes(const std::string& key);
bool showDelete(const std::string& key);
bool showSave(const std::string& key);

// Window-modal sheets: return at once.
void showMessage(QWidget* window, const std::optional<std::string>& text);
void showMessageWithKey(QWidget* window, const std::string& key);
void openPortFail(QWidget* window, const std::optional<std::string>& detail);

// Spoken without waiting; silence where no speech engine exists.
void speakMessageWithKey(const std::string& key);

// Test hook. While a responder is set, no panel, sheet or speech is shown: each request is
// handed to it instead, on the thread that would show it (the main thread), and its result is
// the index of the button chosen (0 = default), or -1 for a panel closed without a button.
// The result is ignored for sheets and speech. An empty function restores the real panels.
using Responder = std::function<int(const AlertRequest&)>;
void setResponder(Responder responder);

// Shows a request (through the responder when one is set) and returns the button index as
// above. Message and Question wait; Sheet and Speech return -1 at once. Also used by the
// installer for its own texts. Without an application object nothing is shown (-1).
int present(const AlertRequest& request);

} // namespace Alert
