#pragma once
// Message keys to display text, and the messages put in front of the user.
// The lookup is plain C++ (library mux_support, any thread); the panels, sheets and speech are Qt
// (library mux_support_ui, main thread only).

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

class Alert {
public:
    // The text for a key in the user's language, else the base (English) text, else the key.
    static std::string localizedStringWithKey(const std::string& key);

    // Set-up of the tables. The language defaults to the user's locale (LC_ALL, LC_MESSAGES, LANG);
    // the folder defaults to $MUXCONSOLE_STRINGS, else <program folder>/../share/muxconsole/strings.
    static void setLanguage(const std::string& language); // empty: back to the locale's
    static std::string language();
    static void setTableFolder(const std::string& folder); // empty: back to the default
    static std::string tableFolder();
    // Program-specific entries that win over the tables ("CFBundleName", "CFBundleGetInfoString").
    static void setInfoValue(const std::string& key, const std::string& text);

    // Application-modal panels: wait until dismissed.
    static void showMessage(const std::optional<std::string>& text);
    static void showMessageWithKey(const std::string& key);
    static bool showOK(const std::string& key);
    static bool showYes(const std::string& key);
    static bool showDelete(const std::string& key);
    static bool showSave(const std::string& key);

    // Window-modal sheets: return at once.
    static void showMessage(QWidget* window, const std::optional<std::string>& text);
    static void showMessageWithKey(QWidget* window, const std::string& key);
    static void openPortFail(QWidget* window, const std::optional<std::string>& detail);

    // Spoken without waiting; silence where no speech engine exists.
    static void speakMessageWithKey(const std::string& key);

    // Test hook. While a responder is set, no panel, sheet or speech is shown: each request is
    // handed to it instead, on the thread that would show it (the main thread), and its result is
    // the index of the button chosen (0 = default), or -1 for a panel closed without a button.
    // The result is ignored for sheets and speech. An empty function restores the real panels.
    using Responder = std::function<int(const AlertRequest&)>;
    static void setResponder(Responder responder);

    // Shows a request (through the responder when one is set) and returns the button index as
    // above. Message and Question wait; Sheet and Speech return -1 at once. Also used by the
    // installer for its own texts. Without an application object nothing is shown (-1).
    static int present(const AlertRequest& request);
};
