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
        TRegistry store(argv[1]);
        for (long n = argc > 2 ? std::atol(argv[2]) : 0;; ++n) {
            const std::string number = std::to_string(n);
            auto key = store.OpenKey("Crash\\Key" + number, true);
            key->WriteString("Name", "key " + number);
            key->WriteInteger("Number", static_cast<std::int32_t>(n));
            key->WriteBinary("Blob", std::string(256, static_cast<char>(n & 0xff)));
            key->WriteDateTime("When", static_cast<double>(n) + 0.5);
            key->WriteString("Tail", number);
            key->Close();
            std::printf("%ld\n", n);
            std::fflush(stdout);
        }
    } catch (const ERegistryError& e) {
        std::fprintf(stderr, "registry_crash_child: %s\n", e.what());
        return 2;
    }
}
