#include "app/Console.h"

#include "app/BridgeArguments.h"
#include "app/Version.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "mux/ProgramNames.h"
#include "sim/SimulatedMux.h"
#include "support/Alert.h"
#include "support/Settings.h"

#include <QApplication>
#include <QPixmap>
#include <QSize>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

struct Arguments {
    bool demo = false;
    std::optional<MuxFamily> family;
    bool bluetooth = false;
    std::string firmware;
    double traffic = 10.0;
    std::optional<std::string> port;
    std::optional<std::string> screenshot;
    std::optional<std::string> log;      // the simulated device's traffic
    std::optional<QSize> shotSize;       // the window's size for the picture
    std::optional<std::string> sentence; // the picture shows the Sentences tab, this address chosen
};

void usage(const char* program, FILE* out) {
    std::fprintf(
        out,
        "Usage: %s [options]\n"
        "  --port PATH          open this serial port (a path or a name under /dev)\n"
        "  --demo               run against a simulated multiplexer\n"
        "  --family NAME        simulated device: legacy, third, model42 or other\n"
        "  --bluetooth          the simulated device reports Bluetooth\n"
        "  --firmware X.Y       the simulated device's firmware version\n"
        "  --traffic N          instrument sentences per second of the simulated device\n"
        "  --log FILE           the simulated device replays this NMEA log as its traffic\n"
        "  --screenshot FILE    save the window as PNG once the device is identified, then quit\n"
        "  --screenshot-size WxH, --screenshot-sentence ADDRESS\n"
        "                       the window's size for it; the Sentences tab, this address chosen\n"
        "  --headless           run as a bridge without a window (--headless --help lists its options)\n"
        "  --version, --help\n",
        program);
}

// Returns the exit code when the program is to stop at once.
std::optional<int> parse(int argc, char** argv, const char* program, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 < argc)
                return std::string(argv[++i]);
            std::fprintf(stderr, "%s: %s needs a value\n", program, a.c_str());
            return std::nullopt;
        };
        if (a == "--help" || a == "-h") {
            usage(program, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("%s %s\n", program, MUX_VERSION);
            return 0;
        } else if (a == "--demo") {
            args.demo = true;
        } else if (a == "--bluetooth") {
            args.bluetooth = true;
        } else if (a == "--family") {
            auto v = value();
            if (!v)
                return 2;
            args.family = muxFamilyNamed(*v);
            if (!args.family) {
                std::fprintf(stderr, "%s: unknown family '%s'\n", program, v->c_str());
                return 2;
            }
        } else if (a == "--firmware") {
            auto v = value();
            if (!v)
                return 2;
            args.firmware = *v;
        } else if (a == "--traffic") {
            auto v = value();
            if (!v)
                return 2;
            char* end = nullptr;
            args.traffic = std::strtod(v->c_str(), &end);
            if (end == v->c_str() || *end != '\0' || args.traffic < 0 || args.traffic > 1000) {
                std::fprintf(stderr, "%s: --traffic takes a number from 0 to 1000\n", program);
                return 2;
            }
        } else if (a == "--port") {
            auto v = value();
            if (!v)
                return 2;
            args.port = *v;
        } else if (a == "--screenshot") {
            auto v = value();
            if (!v)
                return 2;
            args.screenshot = *v;
        } else if (a == "--log" || a == "--screenshot-sentence") {
            auto v = value();
            if (!v)
                return 2;
            (a == "--log" ? args.log : args.sentence) = *v;
        } else if (a == "--screenshot-size") {
            auto v = value();
            int w = 0, h = 0;
            if (!v || std::sscanf(v->c_str(), "%dx%d", &w, &h) != 2 || w < 200 || h < 200) {
                std::fprintf(stderr, "%s: --screenshot-size takes WIDTHxHEIGHT\n", program);
                return 2;
            }
            args.shotSize = QSize(w, h);
        } else if (a.rfind("-platform", 0) == 0 || a.rfind("-style", 0) == 0) {
            ++i; // Qt's own options, left for QApplication
        } else {
            std::fprintf(stderr, "%s: unknown option '%s'\n", program, a.c_str());
            usage(program, stderr);
            return 2;
        }
    }
    return std::nullopt;
}

} // namespace

int runConsole(int argc, char** argv, MuxVariant variant) {
    const bool legacy = variant == MuxVariant::Legacy;
    const char* program = legacy ? "muxconsole-legacy" : "muxconsole";
    // The bridge: no display, no widget, only a QCoreApplication.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) {
            BridgeOptions bridge;
            bridge.core.variant = variant;
            if (auto code = bridgeArguments(argc, argv, program, bridge))
                return *code;
            return HeadlessBridge::run(argc, argv, program, std::move(bridge));
        }
    // Options first: --help, --version and a bad option need no display.
    Arguments args;
    if (auto code = parse(argc, argv, program, args))
        return *code;
    QApplication app(argc, argv);

    nameProgram(variant, MUX_VERSION); // in the user's language, as Qt's own texts
    loadQtTranslations(&app);
    const std::string name = programName(variant);
    QApplication::setApplicationName(program);
    QApplication::setApplicationDisplayName(QString::fromStdString(name));
    QApplication::setApplicationVersion(MUX_VERSION);
    // A demonstration keeps its own preferences, so the user's saved port stays as it was.
    Settings::setApplication(args.demo ? std::string(program) + "-demo" : program);

    std::unique_ptr<SimulatedMux> device;
    MuxOptions options;
    options.variant = variant;
    if (args.demo) {
        SimOptions sim;
        sim.family = args.family.value_or(legacy ? MuxFamily::Legacy : MuxFamily::ThirdGeneration);
        sim.bluetooth = args.bluetooth;
        sim.firmware = args.firmware;
        sim.linesPerSecond = args.traffic;
        sim.logFile = args.log.value_or("");
        // A device as it might come from an installation: a few routes already set.
        sim.filters = {{"GPRMC", "11000", 1},
                       {"--GGA", "10000", 2},
                       {"IIMWV", "10110", 0},
                       {"AIVDM", "10001", 0},
                       {"--HDT", "01100", 0}};
        device = std::make_unique<SimulatedMux>(sim);
        if (!device->start()) {
            std::fprintf(stderr, "%s: the simulated multiplexer did not start: %s\n", program,
                         device->lastError().c_str());
            return 1;
        }
        args.port = device->portPath();
    }
    if (args.port) {
        options.extraPorts.push_back(*args.port);
        options.selectPort = args.port;
    }

    int status = 0;
    {
        MuxController controller(options);
        MuxWindow& window = controller.window();
        window.setWindowTitle(QString::fromStdString(name));
        if (args.shotSize)
            window.resize(*args.shotSize);
        window.show();
        controller.awakeFromNib();

        QTimer shot;
        if (args.screenshot) {
            // Waits for the device to be identified and some traffic to scroll by, then saves.
            auto started = std::chrono::steady_clock::now();
            auto identifiedAt = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
            QObject::connect(&shot, &QTimer::timeout, [&, identifiedAt] {
                const auto now = std::chrono::steady_clock::now();
                const bool identified = controller.core().identified();
                if (identified && !*identifiedAt)
                    *identifiedAt = now;
                const bool ready = *identifiedAt && now - **identifiedAt > std::chrono::milliseconds(2500);
                if (!ready && now - started < std::chrono::seconds(30))
                    return;
                shot.stop();
                if (args.sentence) {
                    controller.monitor().openSentences(*args.sentence);
                    QApplication::processEvents();
                }
                if (!window.grab().save(QString::fromStdString(*args.screenshot), "PNG") || !ready)
                    status = 1;
                QApplication::quit();
            });
            shot.start(100);
        }
        const int code = app.exec();
        if (status == 0)
            status = code;
    }
    return status;
}
