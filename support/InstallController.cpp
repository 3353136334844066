#include "support/InstallController.h"

#include "support/AlertPanels.h"
#include "support/OSXUtil.h"
#include "support/Platform.h"
#include "support/Workspace.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string applicationName() {
    return Alert::localizedStringWithKey("CFBundleName");
}

std::string replaceFirst(std::string text, const std::string& with) {
    size_t at = text.find("%@");
    if (at != std::string::npos)
        text.replace(at, 2, with);
    return text;
}

// Copies a file beside its destination first and renames it into place, so an older copy is
// replaced whole (even while it runs) and a failed copy leaves it as it was.
bool replaceFile(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_directories(to.parent_path(), error);
    fs::path temporary = to;
    temporary += ".part-" + std::to_string(::getpid());
    fs::remove(temporary, error);
    if (!fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, error)) {
        fs::remove(temporary, error);
        return false;
    }
    fs::permissions(temporary, fs::status(from, error).permissions(), error);
    fs::rename(temporary, to, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

bool replaceFolder(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::path temporary = to;
    temporary += ".part-" + std::to_string(::getpid());
    fs::remove_all(temporary, error);
    fs::create_directories(to.parent_path(), error);
    fs::copy(from, temporary, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        fs::remove_all(temporary, error);
        return false;
    }
    fs::remove_all(to, error);
    fs::rename(temporary, to, error);
    if (error) {
        fs::remove_all(temporary, error);
        return false;
    }
    return true;
}

std::string desktopEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

// Exec= arguments are quoted; inside quotes ", `, $ and \ take a backslash.
std::string desktopExec(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += "\\\\";
        if (c == '%')
            out += '%';
        out += c;
    }
    return out + "\"";
}

bool writeDesktopEntry(const std::string& program, const fs::path& executable, const fs::path& icon) {
    fs::path folder =
        support::absoluteEnvPath("XDG_DATA_HOME").value_or(support::homeFolder() + "/.local/share");
    folder /= "applications";
    std::error_code error;
    fs::create_directories(folder, error);
    std::string entry = "[Desktop Entry]\nType=Application\nName=" + desktopEscape(applicationName()) +
                        "\nComment=" + desktopEscape(Alert::localizedStringWithKey("CFBundleGetInfoString")) +
                        "\nExec=" + desktopExec(executable.string()) +
                        "\nTerminal=false\nCategories=Utility;\n";
    if (!icon.empty())
        entry += "Icon=" + desktopEscape(icon.string()) + "\n";
    return support::writeFileAtomically((folder / (program + ".desktop")).string(), entry, 0644);
}

fs::path findIcon(const fs::path& share, const std::string& program) {
    std::error_code error;
    for (const char* relative : {"icons/hicolor/scalable/apps/", "icons/hicolor/256x256/apps/",
                                 "icons/hicolor/128x128/apps/", "icons/hicolor/64x64/apps/", "pixmaps/"})
        for (const char* extension : {".svg", ".png"}) {
            fs::path candidate = share / relative / (program + extension);
            if (fs::is_regular_file(candidate, error))
                return candidate;
        }
    return {};
}

// Images are attached through virtual block devices (loop, or a mapped device on one); a file on
// a disk, a network or memory file system needs no further look. Keeps the start-up check cheap.
bool onVirtualBlockDevice(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || major(info.st_dev) == 0)
        return false;
    std::error_code error;
    fs::path device = fs::canonical("/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" +
                                        std::to_string(minor(info.st_dev)),
                                    error);
    return !error && device.string().find("/devices/virtual/") != std::string::npos;
}

} // namespace

InstallController::InstallController() : programPath_(support::executablePath()) {
    if (const char* image = std::getenv("APPIMAGE"); image && *image == '/')
        appImage_ = image;
}

InstallController::InstallController(std::string programPath, std::optional<std::string> appImage)
    : programPath_(std::move(programPath)), appImage_(std::move(appImage)) {
}

std::optional<std::string> InstallController::imagePath() const {
    std::error_code error;
    if (appImage_ && fs::is_regular_file(*appImage_, error))
        return appImage_;
    if (programPath_.empty() || !onVirtualBlockDevice(programPath_))
        return std::nullopt;
    auto volume = Workspace::propertiesForPath(programPath_);
    if (!volume)
        return std::nullopt;
    auto image = volume->find(NSWorkspace_KZimagefilepath);
    if (image == volume->end())
        return std::nullopt;
    // An image that holds the system or the user's home is not a delivery image.
    const std::string& mountPoint = (*volume)[NSWorkspace_KZmntonname];
    std::string home = support::homeFolder();
    if (mountPoint == "/" || home == mountPoint || home.rfind(mountPoint + "/", 0) == 0)
        return std::nullopt;
    return image->second;
}

std::string InstallController::destinationFolder() const {
    if (appImage_)
        return support::homeFolder() + "/Applications";
    return fs::path(*OSXUtil::systemPath(OSXUtil::ApplicationsFolder, std::string("x")))
        .parent_path()
        .string();
}

void InstallController::displayInstaller() {
    if (!imagePath())
        return;
    AlertRequest offer;
    offer.kind = AlertRequest::Kind::Question;
    offer.title = applicationName();
    offer.message = replaceFirst("%@ Has Been Launched From A Disk Image", applicationName());
    offer.informativeText = "Install In The Applications Folder?";
    offer.buttons = {"Yes, Install", "Do Not Install"};
    if (Alert::present(offer) == 0)
        installApp();
}

bool InstallController::installApp() {
    fs::path program = appImage_ ? fs::path(*appImage_) : fs::path(programPath_);
    std::string name = program.filename().string();
    bool ok = !name.empty();
    fs::path destination = fs::path(destinationFolder()) / name;
    if (ok)
        ok = replaceFile(program, destination);
    fs::path icon;
    if (ok && !appImage_) {
        // The program's data sits beside it as in any prefix: <prefix>/bin and <prefix>/share.
        fs::path share = program.parent_path().parent_path() / "share";
        fs::path installedShare = destination.parent_path().parent_path() / "share";
        std::error_code error;
        if (fs::is_directory(share / "muxconsole", error))
            ok = replaceFolder(share / "muxconsole", installedShare / "muxconsole");
        fs::path sourceIcon = findIcon(share, name);
        if (ok && !sourceIcon.empty()) {
            icon = installedShare / fs::relative(sourceIcon, share, error);
            if (!replaceFile(sourceIcon, icon))
                icon.clear();
        }
    }
    if (ok)
        ok = writeDesktopEntry(name, destination, icon);

    AlertRequest report;
    report.kind = AlertRequest::Kind::Message;
    report.buttons = {"OK"};
    if (ok) {
        report.title = "Installed Successfully";
        report.message = replaceFirst(replaceFirst("%@ Installed In %@ Folder", applicationName()),
                                      destination.parent_path().string());
    } else {
        report.title = "Could Not Install";
        report.message = replaceFirst("An Error Occurred When Installing %@", applicationName());
    }
    Alert::present(report);
    return ok;
}
