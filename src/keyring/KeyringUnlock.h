#pragma once

#include "keyring/KeyringPassword.h"

#include <string>

// What the program does with an answer of the desktop keyring, as a numbered log line (0 for
// none) with its one argument.
struct TKeyringNote {
    int Message = 0;
    std::string Detail;
};

// What a start does with the keyring's answer to reading the program password.
struct TKeyringUnlock {
    // The stored password is the program password: the start goes on without asking for it.
    bool Unlocked = false;
    // The stored password is no longer the program password: it goes from the keyring, and the
    // password typed at the prompt takes its place.
    bool RemoveStored = false;
    TKeyringNote Note;
};

// `passwordHash` is the program password's digest as the settings keep it.
TKeyringUnlock DecideUnlock(const TKeyringPassword::TResult& read, const std::string& passwordHash);

// The log line for the answer to storing (`removing` false) or removing the password.
TKeyringNote NoteOfChange(const TKeyringPassword::TResult& answer, bool removing);
