#pragma once
// Offers, once at start-up, to install the program when it runs from a mounted disk image or as
// an AppImage, and copies it. An installed program lives in ~/.local (bin/<program>,
// share/muxconsole, a desktop entry in share/applications); an AppImage goes to ~/Applications.
// Main thread; the offer and the result go through Alert::present.

#include <optional>
#include <string>

class InstallController {
public:
    InstallController(); // the running program
    // A given program file (tests); appImage is the AppImage file when it is one.
    InstallController(std::string programPath, std::optional<std::string> appImage);

    // Asks only when the program comes from an image; does nothing otherwise.
    void displayInstaller();
    // Copies the program (and its data) into the applications folder; reports the result.
    bool installApp();

    // Whether the program runs from an image (its image file, else nothing).
    std::optional<std::string> imagePath() const;
    // The folder the program is installed into.
    std::string destinationFolder() const;

private:
    std::string programPath_;
    std::optional<std::string> appImage_;
};
