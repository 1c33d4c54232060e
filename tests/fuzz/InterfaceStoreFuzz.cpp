#include "translate/InterfaceStore.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

// Feeds arbitrary bytes to the translation-file reader, walks every section it finds, and checks
// what it reads: keys of two or more parts without "=", a value that is not empty, and a file that
// reads back the same after saving.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    TIniInterfaceStore store;
    store.LoadFromStream(input);

    for (const std::string& line : store.Lines()) {
        if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            __builtin_trap();
        const std::size_t open = line.find('[');
        const std::size_t close = line.rfind(']');
        if (open == std::string::npos || close == std::string::npos || close < open)
            continue;
        if (!store.FindSection(line.substr(open + 1, close - open - 1)))
            continue;
        while (store.NextEntry()) {
            std::size_t parts = 0;
            TKeyPart part;
            while (store.ReadKeyPart(part)) {
                ++parts;
                if (part.Part.find('=') != std::string::npos)
                    __builtin_trap();
                if (part.IsLast)
                    break;
            }
            if (!part.IsLast || parts < 2 || part.Value.empty())
                __builtin_trap();
        }
    }

    std::ostringstream saved;
    store.SaveToStream(saved);
    std::istringstream again(saved.str());
    TIniInterfaceStore reloaded;
    reloaded.LoadFromStream(again);
    if (reloaded.Lines() != store.Lines())
        __builtin_trap();
    return 0;
}
