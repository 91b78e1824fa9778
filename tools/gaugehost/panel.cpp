// panel.cpp
//
// The live panel: an instance of each reader, the frame, the keys and the loop.
#include "tools/gaugehost/panel.h"

#include "tools/gaugehost/cp1252.h"
#include "tools/gaugehost/notebook_controls.h"
#include "tools/gaugehost/notebook_device.h"
#include "tools/gaugehost/panel_terminal.h"
#include "tools/gaugehost/reader_binding.h"

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace gaugehost {

namespace {

constexpr const char* kStateNames[] = {"Off", "Slow", "High"};
constexpr const char* kHelp = "keys: 0 1 2 fan 1 Off/Slow/High   7 8 9 fan 2 Off/Slow/High   "
                              "f Celsius/Fahrenheit   d degree sign   q quit";

struct PanelReader {
    ReaderBinding binding;
    PluginInstance instance;
};

// The temperature readers take the unit and degree texts after the period.
bool isTemperatureReader(const ReaderBinding& binding)
{
    return binding.parameters.size() == 3;
}

std::string readerText(const PluginLibrary& library, PanelReader& reader,
                       const PanelSettings& settings)
{
    std::vector<std::string> given;
    if (isTemperatureReader(reader.binding))
        given = {reader.binding.parameters[0].defaultValue, settings.unit, settings.degree};
    try {
        return cp1252ToUtf8(
            callBoundReader(library, reader.binding, reader.instance.handle(), given));
    } catch (const std::exception& error) {
        return std::string("(") + error.what() + ")";
    }
}

// The plug-in's requests: all the process sent less the panel's own.
std::string requestLine(unsigned panelRequests)
{
    try {
        const uint64_t all = deviceRequestCount();
        const uint64_t plugin = all >= panelRequests ? all - panelRequests : 0;
        return "device requests sent: " + std::to_string(plugin) + " by the plug-in, " +
               std::to_string(panelRequests) + " by the panel";
    } catch (const std::exception&) {
        return "device requests sent by the panel: " + std::to_string(panelRequests) +
               " (the plug-in's are counted on the host build)";
    }
}

std::vector<PanelReader> startReaders(const PluginLibrary& library)
{
    std::vector<PanelReader> readers;
    for (const std::string& name : splitReaderList(library.init())) {
        ReaderBinding binding = bindReader(library, name);
        readers.push_back({std::move(binding), library.startInstance()});
    }
    return readers;
}

// The unit and degree texts start as getparam's defaults, as the host starts them.
PanelSettings defaultSettings(const std::vector<PanelReader>& readers)
{
    PanelSettings settings;
    for (const auto& reader : readers) {
        if (isTemperatureReader(reader.binding)) {
            settings.unit = reader.binding.parameters[1].defaultValue;
            settings.degree = reader.binding.parameters[2].defaultValue;
            break;
        }
    }
    return settings;
}

} // namespace

bool applyPanelKey(char key, PanelSettings& settings, const FanStateSetter& setFanState)
{
    if (key == 'q' || key == 'Q')
        return false;
    if (key == 'f' || key == 'F') {
        settings.unit = settings.unit == "f" ? "c" : "f";
        settings.message =
            settings.unit == "f" ? "temperatures in Fahrenheit" : "temperatures in Celsius";
    } else if (key == 'd' || key == 'D') {
        settings.degree = settings.degree == "yes" ? "no" : "yes";
        settings.message = settings.degree == "yes" ? "degree sign shown" : "degree sign hidden";
    } else if ((key >= '0' && key <= '2') || (key >= '7' && key <= '9')) {
        const unsigned fan = key <= '2' ? 0 : 1;
        const unsigned state = key <= '2' ? unsigned(key - '0') : unsigned(key - '7');
        const bool done = setFanState(fan, state);
        settings.message = "fan " + std::to_string(fan + 1) +
                           (done ? " set to " : " was not set to ") + kStateNames[state] +
                           (done ? " (the readers show it at their next refresh)"
                                 : " (the driver or the BIOS refused)");
    }
    return true;
}

void runPanel(const PluginLibrary& library, const PanelOptions& options, std::ostream& out)
{
    std::vector<PanelReader> readers = startReaders(library);
    NotebookDevice device;
    const std::string model = device.modelName();
    PanelSettings settings = defaultSettings(readers);
    PanelTerminal terminal;
    const bool live = terminal.interactive() && !options.once;
    auto setFanState = [&device](unsigned fan, unsigned state) {
        return device.setFanState(fan, state);
    };

    auto last = std::chrono::steady_clock::now();
    for (;;) {
        PanelFrame frame;
        frame.model = model;
        frame.interactive = live;
        for (auto& reader : readers)
            frame.lines.emplace_back(reader.binding.name, readerText(library, reader, settings));
        frame.requests = requestLine(device.requestsSent());
        terminal.beginFrame();
        out << formatPanelFrame(frame, settings) << std::flush;
        if (!live)
            return;
        // Four looks at the keyboard a second, one frame a second.
        for (int slice = 0; slice < 4; ++slice) {
            if (auto key = terminal.readKey(250);
                key && !applyPanelKey(*key, settings, setFanState))
                return;
            if (PanelTerminal::interrupted())
                return;
        }
        const auto now = std::chrono::steady_clock::now();
        letNotebookRun(std::chrono::duration<double>(now - last).count());
        last = now;
    }
}

std::string formatPanelFrame(const PanelFrame& frame, const PanelSettings& settings)
{
    std::ostringstream out;
    out << "Gaugelet on " << (frame.model.empty() ? "an unknown notebook" : frame.model) << "\n\n";
    for (const auto& [label, text] : frame.lines) {
        const size_t width = 14;
        out << "  " << label << std::string(label.size() < width ? width - label.size() : 1, ' ')
            << text << "\n";
    }
    out << "\n" << frame.requests << "\n";
    out << "temperature unit: " << settings.unit << "   degree sign: " << settings.degree << "\n";
    if (frame.interactive) {
        out << kHelp << "\n";
        if (!settings.message.empty())
            out << settings.message << "\n";
    }
    return out.str();
}

} // namespace gaugehost
