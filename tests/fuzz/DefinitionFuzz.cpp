#include "alerts/AlertItems.h"
#include "base/Encoders.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <string>

// Feeds arbitrary bytes to the definition reader twice: as an encrypted file (decrypt, then parse)
// and as already decrypted text, so the parser sees both garbage and structured input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TAlertItems encrypted;
    encrypted.LoadFromBytes(bytes);
    TAlertItems plain;
    plain.LoadFromText(bytes);
    // Whatever was parsed must be consistent: every alert filed under its own group.
    std::size_t grouped = 0;
    for (const auto& [name, alerts] : plain.Groups)
        grouped += alerts.size();
    if (grouped != plain.Alerts.size())
        __builtin_trap();
    return 0;
}
