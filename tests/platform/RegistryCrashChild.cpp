// Writes keys into the store given as argv[1] until killed: each key gets all its values through one
// opened key, and its number is printed once the key is closed (committed). argv[2] is the first number.

#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: registry_crash_child STORE [FIRST]\n");
        return 1;
    }
    try {
        Registry store(argv[1]);
        for (long n = argc > 2 ? std::atol(argv[2]) : 0;; ++n) {
            const std::string number = std::to_string(n);
            auto key = store.openKey("Crash\\Key" + number, true);
            key->writeString("Name", "key " + number);
            key->writeInteger("Number", static_cast<std::int32_t>(n));
            key->writeBinary("Blob", std::string(256, static_cast<char>(n & 0xff)));
            key->writeDateTime("When", static_cast<double>(n) + 0.5);
            key->writeString("Tail", number);
            key->close();
            std::printf("%ld\n", n);
            std::fflush(stdout);
        }
    } catch (const RegistryError& e) {
        std::fprintf(stderr, "registry_crash_child: %s\n", e.what());
        return 2;
    }
}
