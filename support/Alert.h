#pragma once
// Message keys to display text, in the user's language. Plain C++ (library mux_support, any
// thread); the panels, sheets and speech that show these texts are in support/AlertPanels.h.

#include <string>
#include <vector>

namespace Alert {

// The text for a key in the user's language, else the base (English) text, else the key.
std::string localizedStringWithKey(const std::string& key);
// The same text with %1, %2 ... replaced by the values, in one pass (a value's own "%1" stays).
std::string localizedStringWithKey(const std::string& key, const std::vector<std::string>& values);

// Set-up of the tables. The language defaults to the user's locale (LC_ALL, LC_MESSAGES, LANG);
// the folder defaults to $MUXCONSOLE_STRINGS, else <program folder>/../share/muxconsole/strings.
void setLanguage(const std::string& language); // empty: back to the locale's
std::string language();
void setTableFolder(const std::string& folder); // empty: back to the default
std::string tableFolder();
// Program-specific entries that win over the tables ("CFBundleName", "CFBundleGetInfoString").
void setInfoValue(const std::string& key, const std::string& text);
void removeInfoValue(const std::string& key); // the tables answer again

} // namespace Alert
