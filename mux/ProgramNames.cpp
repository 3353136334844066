#include "mux/ProgramNames.h"

#include "support/Alert.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

std::string programName(MuxVariant variant) {
    return Alert::localizedStringWithKey(variant == MuxVariant::Legacy ? "CFBundleNameLegacy"
                                                                       : "CFBundleName");
}

// The tables name the current program; the earlier generation's has a name of its own.
void nameProgram(MuxVariant variant, const std::string& version) {
    Alert::removeInfoValue("CFBundleName");
    Alert::removeInfoValue("CFBundleGetInfoString");
    if (variant != MuxVariant::Legacy)
        return;
    const std::string name = programName(variant);
    Alert::setInfoValue("CFBundleName", name);
    Alert::setInfoValue("CFBundleGetInfoString", name + " " + version);
}

bool loadQtTranslations(QObject* owner) {
    const std::string language = Alert::language();
    if (language.empty() || language == "en")
        return false;
    auto* translator = new QTranslator(owner);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QString::fromStdString("qtbase_" + language), folder) &&
        !translator->load(QString::fromStdString("qt_" + language), folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
