#pragma once
// Message keys to display text, and the messages put in front of the user.
// The lookup is plain C++ (library mux_support, any thread); the panels, sheets and speech are Qt
// (library mux_support_ui, main thread only).

#include <optional>
#include <string>

class QWidget;

class Alert {
public:
    // The text for a key in the user's language, else the base (English) text, else the key.
    static std::string localizedStringWithKey(const std::string& key);

    // Set-up of the tables. The language defaults to the user's locale (LC_ALL, LC_MESSAGES, LANG);
    // the folder defaults to <program folder>/../share/muxconsole/strings.
    static void setLanguage(const std::string& language);
    static std::string language();
    static void setTableFolder(const std::string& folder);
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
};
