#include "Commands.h"

#include "base/Encoders.h"

#include <cstdio>

const char* const kEncryptHelp = "Usage: tallyglass-tool encrypt [--passphrase P] IN OUT\n"
                                 "\n"
                                 "Encrypts IN into OUT the way definition files and scripts are stored\n"
                                 "(Triple DES, zero-padded to a multiple of 8 bytes). '-' means standard\n"
                                 "input or output. The passphrase defaults to the one of the program's data files.\n";

const char* const kDecryptHelp = "Usage: tallyglass-tool decrypt [--passphrase P] IN OUT\n"
                                 "\n"
                                 "Decrypts IN into OUT. '-' means standard input or output. The output keeps\n"
                                 "any zero bytes the encryption padded with. The passphrase defaults to the one\n"
                                 "of the program's data files.\n";

namespace {

int RunCrypt(const TArgs& given, bool encrypt) {
    const char* help = encrypt ? kEncryptHelp : kDecryptHelp;
    TArgs args = given;
    std::string passphrase = kDefinitionPassphrase;
    bool present = false;
    if (!TakeOption(args, "--passphrase", passphrase, present))
        return UsageError("--passphrase needs a value", help);
    if (present && passphrase.empty())
        return UsageError("the passphrase must not be empty", help);
    if (args.size() != 2)
        return UsageError("expected IN and OUT", help);

    std::string input;
    if (!ReadInput(args[0], input)) {
        std::fprintf(stderr, "tallyglass-tool: cannot read '%s'\n", args[0].c_str());
        return 2;
    }
    std::string output;
    if (encrypt)
        Encrypt(passphrase, input, output);
    else
        Decrypt(passphrase, input, output);
    if (!WriteOutput(args[1], output)) {
        std::fprintf(stderr, "tallyglass-tool: cannot write '%s'\n", args[1].c_str());
        return 2;
    }
    return 0;
}

} // namespace

int RunEncrypt(const TArgs& args) {
    return RunCrypt(args, true);
}

int RunDecrypt(const TArgs& args) {
    return RunCrypt(args, false);
}
