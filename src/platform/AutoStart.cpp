#include "platform/AutoStart.h"

#include "platform/Paths.h"

#include <QCoreApplication>

#include <filesystem>
#include <fstream>

namespace {

// A desktop entry in the autostart folder, which freedesktop.org desktops start at login.
class TXdgAutoStart final : public TAutoStart {
public:
    TXdgAutoStart(std::string entryFile, std::string programFile)
        : m_entryFile(std::move(entryFile)), m_programFile(std::move(programFile)) {}

    bool Apply(bool enabled) override {
        namespace fs = std::filesystem;
        const std::string file = m_entryFile.empty() ? ConfigFolder() + "autostart/tallyglass.desktop" : m_entryFile;
        std::error_code error;
        if (!enabled) {
            fs::remove(file, error);
            return !error;
        }
        std::string program = m_programFile;
        if (program.empty() && QCoreApplication::instance() != nullptr)
            program = QCoreApplication::applicationFilePath().toStdString();
        if (program.empty())
            return false;
        // An installed program is started through its link in bin/, which outlives upgrades.
        program = StableProgramPath(program);
        fs::create_directories(fs::path(file).parent_path(), error);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "[Desktop Entry]\nType=Application\nName=Tallyglass\nExec=" << DesktopExecQuote(program)
            << "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
        out.close();
        return static_cast<bool>(out);
    }

private:
    std::string m_entryFile;
    std::string m_programFile;
};

} // namespace

std::unique_ptr<TAutoStart> TAutoStart::Create(const std::string& entryFile, const std::string& programFile) {
    return std::make_unique<TXdgAutoStart>(entryFile, programFile);
}

std::string DesktopExecQuote(const std::string& path) {
    // Inside double quotes the characters " ` $ \ are escaped with a backslash; '%' is a field
    // code everywhere in Exec= and is doubled.
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // The desktop-entry file format itself escapes backslashes once more.
    std::string escaped;
    for (const char c : quoted) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}
