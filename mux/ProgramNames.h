#pragma once
// The program's name in the user's language (window title, panel titles, the stored version), and
// Qt's own texts (the file dialogs': "Look in", "File name", "Cancel") in that language too.

#include "mux/protocol/Descriptor.h"

#include <string>

class QObject;

// The localized name: the tables' "CFBundleName", or "CFBundleNameLegacy" for the earlier
// generation's program; its version text follows it.
std::string programName(MuxVariant variant);
void nameProgram(MuxVariant variant, const std::string& version);
// Installs Qt's translation of its own texts for the tables' language (Debian's
// qt6-translations-l10n); false when there is none (English, or the package is missing).
bool loadQtTranslations(QObject* owner);
